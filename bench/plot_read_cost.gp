# Read+Commit per record against channel size on tmpfs: the direct route,
# the listing route, the floor and SQLite, from the data zeb_bench --plot
# writes. bench/run.sh calls it; by hand:
#   gnuplot -e "data='docs/performance-read.dat'; output='docs/performance-read.png'" bench/plot_read_cost.gp
set terminal pngcairo size 820,520 font "sans,10"
set output output
set title "Read+Commit per record against channel size (tmpfs)"
set xlabel "records in the master directory"
set ylabel "microseconds per record"
set logscale xy
set xrange [600:160000]
set format x "%.0s%c"
set grid
set key top left
plot data using 1:3 with linespoints lw 2 pt 7 title "listing route (every entry, sorted)", \
     data using 1:2 with linespoints lw 2 pt 5 title "Read: record named for cursor+1", \
     data using 1:4 with linespoints lw 2 pt 9 dt 2 title "floor: open+read+close, index via temp+rename", \
     data using 1:5 with linespoints lw 2 pt 13 dt 3 title "SQLite: SELECT next + UPDATE cursor"
