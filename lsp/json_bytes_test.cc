#include "lsp/json_bytes.h"

#include <gtest/gtest.h>

#include "report/json.h"

namespace tagfmt::lsp {
namespace {

TEST(JsonBytes, BytesThatAreNotUtf8RoundTrip) {
  const char* const texts[] = {
      "",
      "plain",
      "caf\xC3\xA9 \xF0\x9D\x84\x9E",
      "caf\xE9",
      "\xFF\xFE\x80",
      "\xC0\xAF overlong",
      "\xED\xA0\x80 surrogate",
      "\xE2\x82 cut short",
  };
  for (const std::string text : texts) {
    const std::string carried = bytesToUtf8(text);
    EXPECT_TRUE(isUtf8(carried)) << text;
    EXPECT_EQ(isUtf8(text), carried == text) << text;
    // It survives a JSON round trip, and comes back as the bytes.
    const std::string dumped = jsonText(ProtocolJson(carried));
    EXPECT_EQ(utf8ToBytes(parseProtocolJson(dumped).get<std::string>()), text);
  }
}

}  // namespace
}  // namespace tagfmt::lsp
