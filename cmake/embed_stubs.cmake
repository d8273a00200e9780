# Writes OUT, a C++ source holding the files X64 and X86 as the byte
# arrays kStubX64 and kStubX86 (see src/builder/builder_host_posix.cpp).
#   cmake -DX64=FILE -DX86=FILE -DOUT=FILE -P embed_stubs.cmake
set(source "// Written by cmake/embed_stubs.cmake.\n#include <cstddef>\n")
foreach(arch X64 X86)
    file(READ ${${arch}} hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    # Lines of reasonable length for the compiler's diagnostics.
    string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
    string(APPEND source "extern const unsigned char kStub${arch}[] = {\n${bytes}};\n"
                         "extern const std::size_t kStub${arch}Size = ${size};\n")
endforeach()
file(WRITE ${OUT}.new "${source}")
file(RENAME ${OUT}.new ${OUT})
