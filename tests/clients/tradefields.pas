unit TradeFields;
{ The fields of record I of a round trip: each differs from the others and
  from record I-1's, and each double is exact in binary, so the follower
  compares with =. }
{$mode delphi}

interface

type
  TInts = array[0..4] of Integer;   { cmd, ticket, type, time_local, time_server }
  TDoubles = array[0..4] of Double; { lot, open_price, sl, tp, close_price }

procedure FieldsOf(i: Integer; out ints: TInts; out doubles: TDoubles; out symbol: AnsiString);
{ Says WHAT and MESSAGE on standard error and ends the program with status 1. }
procedure Fail(const what: AnsiString; message: PAnsiChar);

implementation

uses SysUtils;

procedure FieldsOf(i: Integer; out ints: TInts; out doubles: TDoubles; out symbol: AnsiString);
begin
  ints[0] := i mod 6; ints[1] := i * 1000003; ints[2] := i mod 5; ints[3] := 1700000000 + i; ints[4] := -i;
  doubles[0] := i / 64; doubles[1] := 1000 + i / 8; doubles[2] := -i / 16; doubles[3] := i * 1024.0;
  doubles[4] := 0.5 + i / 4096;
  symbol := 'S' + IntToStr(i);
end;

procedure Fail(const what: AnsiString; message: PAnsiChar);
begin
  WriteLn(StdErr, what, ': ', message);
  Halt(1);
end;

end.
