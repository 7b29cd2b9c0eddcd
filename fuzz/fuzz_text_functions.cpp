// The delimited-value splitter and the string replacement with arbitrary texts,
// positions and flags.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "CommonCodeLite.h"
#include "Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string delimiter = input.ConsumeRandomLengthString(8);
  const int startPos = input.ConsumeIntegralInRange<int>(-2, 300);
  const int endPos = input.ConsumeIntegralInRange<int>(-2, 300);
  const bool skipFirst = input.ConsumeBool();
  const bool caseSensitive = input.ConsumeBool();
  const bool requireDelimiter = input.ConsumeBool();
  const bool all = input.ConsumeBool();
  const std::string find = input.ConsumeRandomLengthString(8);
  const std::string replace = input.ConsumeRandomLengthString(16);
  const std::string source = input.ConsumeRemainingBytesAsString();
  try {
    (void)VIDodadaZadoVove::GetDelimitedValues(source, delimiter, startPos, endPos, skipFirst,
                                               caseSensitive, requireDelimiter);
  } catch (const Platform::Exception&) {
  }
  try {
    (void)VIDodadaZadoVove::qsStringReplace(source, find, replace, all);
  } catch (const Platform::Exception&) {
  }
  return 0;
}
