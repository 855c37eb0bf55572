// The stream parser reads a piece in place while it parses it: the caller may reuse or free the
// piece as soon as parse() returns, and the parser keeps the bytes it still needs.
#include <gtest/gtest.h>

#include <string>

#include "service/jsonstreamparser.h"
#include "service/plistconvert.h"

namespace tonvera {
namespace {

TEST(JsonStreamPieces, APieceMayBeOverwrittenOnceParseReturns) {
  const std::string text =
      R"( {"name":"海阔天空 \u00e9\ud83c\udfb5","list":[1,-2,3.5e1,12345678901234567890,true,false,null],)"
      R"("k":{"a":"bc","a":"later"},"e":[]} )";
  const auto whole = parseJson(text);
  ASSERT_TRUE(whole);
  const std::string expected = toCanonicalJson(*whole, true);
  for (std::size_t chunk : {1u, 2u, 3u, 5u, 7u, 16u, 1000u}) {
    SBJsonStreamParserAdapter adapter;
    SBJsonStreamParser parser(&adapter);
    auto status = SBJsonStreamParserStatus::WaitingForData;
    std::string piece;
    for (std::size_t at = 0; at < text.size(); at += chunk) {
      piece.assign(text, at, chunk);
      status = parser.parse(piece);
      piece.assign(piece.size(), '"');  // what the parser kept must not be read from here
    }
    ASSERT_EQ(status, SBJsonStreamParserStatus::Complete) << chunk;
    EXPECT_EQ(toCanonicalJson(*adapter.value(), true), expected) << chunk;
  }
}

}  // namespace
}  // namespace tonvera
