// A master or a follower built from the guide's C# declarations (ZebMaster.cs
// and ZebFollower.cs, taken from INTEGRATION.md as they stand there).
//   round_trip.exe master ROOT MASTER COUNT
//   round_trip.exe follower ROOT FOLLOWER MASTER COUNT
using System;
using System.Diagnostics;
using System.Linq;
using System.Runtime.InteropServices;
using System.Threading;

static class RoundTrip {
    // Record i's fields: each differs from the others and from record i-1's,
    // and each double is exact in binary, so the follower compares with ==.
    // cmd, ticket, type, time_local, time_server; lot, open_price, sl, tp, close_price:
    static int[] Ints(int i) => new[] { i % 6, i * 1000003, i % 5, 1700000000 + i, -i };
    static double[] Doubles(int i) => new[] { i / 64.0, 1000 + i / 8.0, -i / 16.0, i * 1024.0, 0.5 + i / 4096.0 };

    static int Fail(string what, IntPtr message) {
        Console.Error.WriteLine(what + ": " + Marshal.PtrToStringAnsi(message));
        return 1;
    }

    // A refused Init reads back as -1 and the library's own text.
    static bool Refused(int result, int code, IntPtr message, string text) =>
        result == 0 && code == -1 && Marshal.PtrToStringAnsi(message).StartsWith(text);

    static int Master(string root, string master, int count) {
        if (!Refused(ZebMaster.Init(root, ".."), ZebMaster.ErrorCode(), ZebMaster.ErrorMsg(), "Init: master name"))
            return Fail("Init took the master name ..", ZebMaster.ErrorMsg());
        if (ZebMaster.Init(root, master) != 1) return Fail("Init", ZebMaster.ErrorMsg());
        for (int i = 1; i <= count; ++i) {
            int[] n = Ints(i);
            double[] d = Doubles(i);
            ZebMaster.SetCmd(n[0]); ZebMaster.SetTicket(n[1]); ZebMaster.SetType(n[2]);
            ZebMaster.SetTimeLocal(n[3]); ZebMaster.SetTimeServer(n[4]);
            ZebMaster.SetLot(d[0]); ZebMaster.SetOpenPrice(d[1]); ZebMaster.SetSL(d[2]);
            ZebMaster.SetTP(d[3]); ZebMaster.SetClosePrice(d[4]);
            ZebMaster.SetSymbol("S" + i);
            if (ZebMaster.Write() != 1) return Fail("Write " + i, ZebMaster.ErrorMsg());
        }
        return 0;
    }

    static int Follower(string root, string follower, string master, int count) {
        if (!Refused(ZebFollower.Init(root, "..", master), ZebFollower.ErrorCode(), ZebFollower.ErrorMsg(),
                     "Init: follower name"))
            return Fail("Init took the follower name ..", ZebFollower.ErrorMsg());
        if (ZebFollower.Init(root, follower, master) != 1) return Fail("Init", ZebFollower.ErrorMsg());
        var clock = Stopwatch.StartNew();
        for (int i = 1; i <= count;) {
            if (ZebFollower.Read() != 1) {
                if (ZebFollower.ErrorCode() != 0) return Fail("Read " + i, ZebFollower.ErrorMsg());
                if (clock.Elapsed.TotalSeconds > 60) return Fail("only " + (i - 1) + " records arrived", IntPtr.Zero);
                Thread.Sleep(1);
                continue;
            }
            int[] n = { ZebFollower.GetCmd(), ZebFollower.GetTicket(), ZebFollower.GetType(),
                        ZebFollower.GetTimeLocal(), ZebFollower.GetTimeServer() };
            double[] d = { ZebFollower.GetLot(), ZebFollower.GetOpenPrice(), ZebFollower.GetSL(),
                           ZebFollower.GetTP(), ZebFollower.GetClosePrice() };
            if (!n.SequenceEqual(Ints(i)) || !d.SequenceEqual(Doubles(i)) ||
                Marshal.PtrToStringAnsi(ZebFollower.GetSymbol()) != "S" + i)
                return Fail("record " + i + " arrived as another", IntPtr.Zero);
            if (ZebFollower.Commit() != 1) return Fail("Commit " + i, ZebFollower.ErrorMsg());
            ++i;
        }
        Console.WriteLine("C# declarations: " + count + " records round-tripped");
        return 0;
    }

    static int Main(string[] args) {
        if (args.Length == 4 && args[0] == "master") return Master(args[1], args[2], int.Parse(args[3]));
        if (args.Length == 5 && args[0] == "follower") return Follower(args[1], args[2], args[3], int.Parse(args[4]));
        return 2;
    }
}
