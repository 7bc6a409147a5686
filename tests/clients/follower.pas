program follower;
{ A follower built from the guide's ZebFollower unit: a refused Init reads
  back as -1 and the library's text, then COUNT records arrive field for
  field.   follower ROOT FOLLOWER MASTER COUNT }
{$mode delphi}

uses SysUtils, ZebFollower, TradeFields;

var
  i, count: Integer;
  ints: TInts;
  doubles: TDoubles;
  symbol: AnsiString;
  deadline: QWord;
begin
  if (ZebFollowerInit(PAnsiChar(ParamStr(1)), '..', PAnsiChar(ParamStr(3))) <> 0) or
     (ZebFollowerErrorCode <> -1) or (Pos('Init: follower name', AnsiString(ZebFollowerErrorMsg)) <> 1) then
    Fail('Init took the follower name ..', ZebFollowerErrorMsg);
  if ZebFollowerInit(PAnsiChar(ParamStr(1)), PAnsiChar(ParamStr(2)), PAnsiChar(ParamStr(3))) <> 1 then
    Fail('Init', ZebFollowerErrorMsg);
  count := StrToInt(ParamStr(4));
  deadline := GetTickCount64 + 60000;
  i := 1;
  while i <= count do
  begin
    if ZebRead <> 1 then
    begin
      if ZebFollowerErrorCode <> 0 then Fail('Read ' + IntToStr(i), ZebFollowerErrorMsg);
      if GetTickCount64 > deadline then Fail('only ' + IntToStr(i - 1) + ' records arrived', nil);
      Sleep(1);
      Continue;
    end;
    FieldsOf(i, ints, doubles, symbol);
    if (ZebGetCmd <> ints[0]) or (ZebGetTicket <> ints[1]) or (ZebGetType <> ints[2]) or
       (ZebGetTimeLocal <> ints[3]) or (ZebGetTimeServer <> ints[4]) or
       (ZebGetLot <> doubles[0]) or (ZebGetOpenPrice <> doubles[1]) or (ZebGetSL <> doubles[2]) or
       (ZebGetTP <> doubles[3]) or (ZebGetClosePrice <> doubles[4]) or (AnsiString(ZebGetSymbol) <> symbol) then
      Fail('record ' + IntToStr(i) + ' arrived as another', nil);
    if ZebCommit <> 1 then Fail('Commit ' + IntToStr(i), ZebFollowerErrorMsg);
    Inc(i);
  end;
  WriteLn('Pascal declarations: ', count, ' records round-tripped');
end.
