# Writes a file's bytes as a C++ source defining `qz::SYMBOL()`, a span over
# them (the X11 mode guardian's executable, carried inside the library).
# Usage: cmake -DINPUT=FILE -DOUTPUT=FILE.cpp -DSYMBOL=NAME -P qzgfx_embed.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){20})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT} by cmake/qzgfx_embed.cmake.
#include <span>

namespace qz {

namespace {
constexpr unsigned char kBytes[] = {
${bytes}
};
}  // namespace

std::span<const unsigned char> ${SYMBOL}() { return kBytes; }

}  // namespace qz
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
