#include "builder_host_fake.h"

#include "support/stub_image.h"

#include <vector>

namespace {

std::wstring& ErrorText()
{
    static std::wstring text;
    return text;
}

} // namespace

namespace fake_host {

const std::wstring& Errors()
{
    return ErrorText();
}

void Reset()
{
    ErrorText().clear();
}

} // namespace fake_host

void PrintOut(const std::wstring&)
{
}

void PrintError(const std::wstring& text)
{
    ErrorText() += text;
}

bool FindStub(const std::wstring&, const std::uint8_t*& bytes, std::size_t& size)
{
    static const std::vector<std::uint8_t> stub = StubImage();
    bytes = stub.data();
    size = stub.size();
    return true;
}

std::wstring SigningRefusal(const BuilderOptions& options)
{
    return options.certificate.empty() ? std::wstring() : L"the tests sign nothing";
}

std::wstring SignIntoPlace(FileHandle, const std::wstring&, const BuilderOptions&, FileDigest*)
{
    return L"the tests sign nothing";
}
