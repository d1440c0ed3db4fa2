# Writes OUTPUT, a C++ source holding INPUT's bytes as kSampleMailbox.
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
  "// Generated from samples/mailbox.json; do not edit.\n"
  "#include <cstddef>\n"
  "namespace orvimapi {\n"
  "extern const unsigned char kSampleMailbox[] = {\n${bytes}0x00};\n"
  "extern const std::size_t kSampleMailboxSize = ${size};\n"
  "}\n")
