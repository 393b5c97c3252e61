#pragma once
// A reusable command-line parser: hands out its parameters one at a time, or classifies
// them as options and arguments and reports each through an event, and fetches typed
// option values. Where the parameters come from is the derived class's choice.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "rtl/String.h"
#include "rtl/StringList.h"

class TBaseCommandLineParser;

// A plain argument. AllowSuccessiveOptions comes in false; a handler that sets it lets
// the parameters after this argument be recognised as options again.
using TCommandLineParserFoundArgumentProc =
    std::function<void(TBaseCommandLineParser& Sender, const String& Name, bool& AllowSuccessiveOptions)>;
// An option, Name with its leading "-". When an "=" was split off, Name is the part before
// it, Value the rest and HasValue true; otherwise Value is empty.
using TCommandLineParserFoundOptionProc = std::function<void(TBaseCommandLineParser& Sender, const String& Name,
                                                             const String& Value, bool HasValue)>;

class TBaseCommandLineParser {
protected:
  // Only Create makes one of these, so every derived parser is built through it.
  class ConstructionKey {
    friend class TBaseCommandLineParser;
    ConstructionKey() = default;
  };

public:
  // Builds a parser of the derived kind TParser (whose constructor takes a ConstructionKey
  // and then Args), loaded with its parameters and rewound. Reset runs once the whole
  // object exists, so it reaches the derived LoadParams.
  template <typename TParser, typename... Args>
  static std::unique_ptr<TParser> Create(Args&&... args) {
    auto parser = std::make_unique<TParser>(ConstructionKey(), std::forward<Args>(args)...);
    parser->Reset();
    return parser;
  }

  virtual ~TBaseCommandLineParser() = default;
  TBaseCommandLineParser(const TBaseCommandLineParser&) = delete;
  TBaseCommandLineParser& operator=(const TBaseCommandLineParser&) = delete;

protected:
  TBaseCommandLineParser() = default;

  // Fills FParamList.
  virtual void LoadParams() = 0;
  // Call the handlers when they are assigned.
  virtual void DoFoundOption(const String& Name, const String& Value, bool HasValue);
  virtual void DoFoundArgument(const String& Name, bool& AllowSuccessiveOptions);

public:
  // Reloads the parameters and goes back before the first one.
  virtual void Reset();
  // The next parameter; false and an empty Param when none is left.
  virtual bool GetNext(String& Param);
  // Classifies every parameter from the current position on and fires the events: a
  // parameter that begins with "-" is an option, until the first argument or a "--" (which
  // is not reported); after that everything is an argument, unless the argument's handler
  // allows options again. Errors from a handler pass through.
  virtual void Process();

  // The fetch operations serve an option handler, which passes the option's Value and
  // HasValue: the value is InValue when InValueAvailable, else the next parameter (which
  // stays consumed, whether it fits or not). Each returns false when there is no value or
  // it does not convert, and then leaves Value unchanged (the string form empties it).
  bool FetchValue(String& Value, const String& InValue, bool InValueAvailable);
  // Decimal within 32 bits, or up to eight hexadecimal digits after "$", "x" or "0x" taken
  // as a 32-bit pattern; blanks before it and a sign are allowed.
  bool FetchValue(std::int32_t& Value, const String& InValue, bool InValueAvailable);
  // "true", "on", "yes", "false", "off", "no" in any case, or an integer (non-zero is true).
  bool FetchValue(bool& Value, const String& InValue, bool InValueAvailable);
  // The index of the first entry of Values equal to the value, case ignored.
  bool FetchEnum(std::int32_t& Value, const String& InValue, bool InValueAvailable, const TStringList& Values);

  // True (the default): an option may carry its value after "=".
  bool LongOptionsWithArguments() const { return FLongOptionsWithArguments; }
  void SetLongOptionsWithArguments(bool value) { FLongOptionsWithArguments = value; }
  const TCommandLineParserFoundArgumentProc& OnFoundArgument() const { return FOnFoundArgument; }
  void SetOnFoundArgument(TCommandLineParserFoundArgumentProc value) { FOnFoundArgument = std::move(value); }
  const TCommandLineParserFoundOptionProc& OnFoundOption() const { return FOnFoundOption; }
  void SetOnFoundOption(TCommandLineParserFoundOptionProc value) { FOnFoundOption = std::move(value); }

protected:
  TStringList FParamList;
  // Index of the parameter last handed out; -1 before the first.
  std::int32_t FLastParamIndex = -1;
  bool FLongOptionsWithArguments = true;
  TCommandLineParserFoundArgumentProc FOnFoundArgument;
  TCommandLineParserFoundOptionProc FOnFoundOption;
};

// The parser of the process's own parameters (ProcessParameters).
class TCommandLineParser : public TBaseCommandLineParser {
public:
  explicit TCommandLineParser(ConstructionKey) {}

protected:
  void LoadParams() override;
};
