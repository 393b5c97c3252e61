#pragma once
// A parser of the parameters it is given, for the parser's tests and fuzz target.
#include "framework/hvCommandLine.h"

class TListParser : public TBaseCommandLineParser {
public:
  TListParser(ConstructionKey, TStringList params) : Params(std::move(params)) {}
  const TStringList Params;

protected:
  void LoadParams() override { FParamList = Params; }
};
