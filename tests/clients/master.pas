program master;
{ A master built from the guide's ZebMaster unit: a refused Init reads back
  as -1 and the library's text, then COUNT records are written.
    master ROOT MASTER COUNT }
{$mode delphi}

uses SysUtils, ZebMaster, TradeFields;

var
  i: Integer;
  ints: TInts;
  doubles: TDoubles;
  symbol: AnsiString;
begin
  if (ZebMasterInit(PAnsiChar(ParamStr(1)), '..') <> 0) or (ZebMasterErrorCode <> -1) or
     (Pos('Init: master name', AnsiString(ZebMasterErrorMsg)) <> 1) then
    Fail('Init took the master name ..', ZebMasterErrorMsg);
  if ZebMasterInit(PAnsiChar(ParamStr(1)), PAnsiChar(ParamStr(2))) <> 1 then Fail('Init', ZebMasterErrorMsg);
  for i := 1 to StrToInt(ParamStr(3)) do
  begin
    FieldsOf(i, ints, doubles, symbol);
    ZebSetCmd(ints[0]); ZebSetTicket(ints[1]); ZebSetType(ints[2]);
    ZebSetTimeLocal(ints[3]); ZebSetTimeServer(ints[4]);
    ZebSetLot(doubles[0]); ZebSetOpenPrice(doubles[1]); ZebSetSL(doubles[2]);
    ZebSetTP(doubles[3]); ZebSetClosePrice(doubles[4]);
    ZebSetSymbol(PAnsiChar(symbol));
    if ZebWrite <> 1 then Fail('Write ' + IntToStr(i), ZebMasterErrorMsg);
  end;
end.
