#include "builder_host_fake.h"

#include "builder/builder_host.h"
#include "support/stub_image.h"

namespace fake_host {

std::wstring& Printed()
{
    static std::wstring printed;
    return printed;
}

} // namespace fake_host

void PrintOut(const std::wstring& text)
{
    fake_host::Printed() += text;
}

void PrintError(const std::wstring& text)
{
    fake_host::Printed() += text;
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
    return options.certificate.empty() ? std::wstring() : L"no signer in the tests";
}

std::wstring SignIntoPlace(FileHandle, const std::wstring&, const BuilderOptions& options, FileDigest*)
{
    return SigningRefusal(options);
}
