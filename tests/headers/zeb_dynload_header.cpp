// The run-time loader compiles as C++ too, beside a library's header.
#include "zeb/zebfollower.h"
#include "zeb/zeb_dynload.h"

zebfollower_api zeb_check_cpp_api = {nullptr, Init, Read, Commit, GetCmd, GetTicket, GetType,
                                     GetSymbol, GetLot, GetOpenPrice, GetSL, GetTP,
                                     GetClosePrice, GetTimeLocal, GetTimeServer, ErrorCode,
                                     ErrorMsg};
