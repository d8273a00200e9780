#include "builder/builder_host.h"

#include "builder/wrapper_writer.h"
#include "shared/utf8_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" char** environ;

// The wrappers without patches this program carries, written into the
// build by cmake/embed_stubs.cmake.
extern const unsigned char kStubX64[];
extern const std::size_t kStubX64Size;
extern const unsigned char kStubX86[];
extern const std::size_t kStubX86Size;

namespace {

void Print(std::FILE* stream, const std::wstring& text)
{
    const std::string bytes = Utf8FromWide(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

bool Readable(const std::wstring& file)
{
    return access(Utf8FromWide(file).c_str(), R_OK) == 0;
}

bool Exists(const std::wstring& file)
{
    return access(Utf8FromWide(file).c_str(), F_OK) == 0;
}

bool OnPath(const char* program)
{
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// The first line of the password file, without its line end (osslsigncode
// versions differ in whether they strip it themselves); empty, or the
// refusal of a file that cannot be read or a line longer than
// kLongestPassword.
std::wstring ReadPassword(const std::wstring& file, std::string& password)
{
    std::ifstream in(Utf8FromWide(file), std::ios::binary);
    std::string head(kLongestPassword + 2, '\0');
    if (!in.read(&head[0], static_cast<std::streamsize>(head.size())) && !in.eof())
        return L"password file '" + file + L"' cannot be read";
    head.resize(static_cast<std::size_t>(in.gcount()));
    password = head.substr(0, head.find('\n'));
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (password.size() > kLongestPassword)
        return L"password file '" + file + L"' holds a line longer than " + std::to_wstring(kLongestPassword) +
               L" bytes";
    return std::wstring();
}

// Runs osslsigncode with `arguments`, the password (if any) read from a
// pipe so that it never lands in a file or on a command line; its exit
// status and what it printed.
int RunSigner(std::vector<std::string> arguments, const std::string* password, std::string& printed)
{
    int output[2];
    int secret[2] = {-1, -1};
    if (pipe2(output, O_CLOEXEC) != 0 || (password != nullptr && pipe(secret) != 0))
        return -1;
    if (password != nullptr) {
        arguments.push_back("-readpass");
        arguments.push_back("/dev/fd/" + std::to_string(secret[0]));
        // Written before the signer starts, and never waited for: a
        // password of at most kLongestPassword bytes fits a pipe's buffer
        // even at its smallest (a page), and a full pipe fails the write.
        fcntl(secret[1], F_SETFL, O_NONBLOCK);
        const ssize_t wrote = write(secret[1], password->data(), password->size());
        close(secret[1]);
        if (wrote != static_cast<ssize_t>(password->size())) {
            for (int end : {secret[0], output[0], output[1]})
                close(end);
            return -1;
        }
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, output[1], 2);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    if (secret[0] >= 0)
        close(secret[0]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(output[0], buffer, sizeof buffer)) > 0)
        printed.append(buffer, static_cast<std::size_t>(got));
    close(output[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What osslsigncode's failure means, in our words.
std::wstring SignerRefusal(const std::string& printed, const BuilderOptions& options)
{
    const std::wstring& certificate = options.certificate;
    if (printed.find("Failed to extract PKCS#12") != std::string::npos)
        return L"'" + certificate + L"' is not a PKCS#12 (.pfx) certificate file";
    if (printed.find("mac verify failure") != std::string::npos || printed.find("Wrong password") != std::string::npos) {
        if (!options.passwordFile.empty())
            return L"cannot open certificate '" + certificate + L"': wrong password in '" + options.passwordFile + L"'";
        return L"cannot open certificate '" + certificate + L"': it has a password (give it with --password-file)";
    }
    std::string firstLines;
    std::size_t start = 0;
    for (int line = 0; line < 3 && start < printed.size(); ++line) {
        const std::size_t end = std::min(printed.find('\n', start), printed.size());
        firstLines += printed.substr(start, end - start) + " ";
        start = end + 1;
    }
    return L"signing with '" + certificate + L"' failed: " + WideFromUtf8(firstLines);
}

} // namespace

void PrintOut(const std::wstring& text)
{
    Print(stdout, text);
}

void PrintError(const std::wstring& text)
{
    Print(stderr, text);
}

bool FindStub(const std::wstring& arch, const std::uint8_t*& bytes, std::size_t& size)
{
    bytes = arch == L"x86" ? kStubX86 : kStubX64;
    size = arch == L"x86" ? kStubX86Size : kStubX64Size;
    return size > 0;
}

std::wstring SigningRefusal(const BuilderOptions& options)
{
    const std::wstring& certificate = options.certificate;
    if (!certificate.empty()) {
        if (!Exists(certificate))
            return L"certificate file '" + certificate + L"' does not exist";
        if (!Readable(certificate))
            return L"certificate file '" + certificate + L"' cannot be read";
        if (!OnPath("osslsigncode"))
            return L"signing needs osslsigncode (tests/setup-machine.sh installs it)";
    }
    if (!options.passwordFile.empty()) {
        if (certificate.empty())
            return L"--password-file belongs to --sign";
        if (!Exists(options.passwordFile))
            return L"password file '" + options.passwordFile + L"' does not exist";
        std::string password;
        return ReadPassword(options.passwordFile, password);
    }
    return std::wstring();
}

std::wstring SignIntoPlace(FileHandle unsigned_, const std::wstring& output, const BuilderOptions& options,
                           FileDigest* digest)
{
    std::string password;
    std::wstring refusal = options.passwordFile.empty() ? std::wstring() : ReadPassword(options.passwordFile, password);
    if (!refusal.empty())
        return refusal;
    const std::wstring folder = SigningFolder(output);
    FileProblem problem = kFileFine;
    const FileHandle held = MakeSigningFolder(folder, kSignedName, problem);
    if (held == kNoFile)
        return L"cannot write '" + folder + L"': " + FileProblemText(problem);
    // The signer reads the very file the build holds and writes into the
    // very folder it made, through copies of their descriptors that it
    // inherits, not whatever their names lead to by then.
    const int in = fcntl(static_cast<int>(unsigned_), F_DUPFD, 3);
    const int into = fcntl(static_cast<int>(held), F_DUPFD, 3);
    std::string printed;
    const int status = in < 0 || into < 0
                           ? -1
                           : RunSigner({"osslsigncode", "sign", "-pkcs12", Utf8FromWide(options.certificate), "-h",
                                        "sha256", "-in", "/dev/fd/" + std::to_string(in), "-out",
                                        "/dev/fd/" + std::to_string(into) + "/" + Utf8FromWide(kSignedName)},
                                       options.passwordFile.empty() ? nullptr : &password, printed);
    for (int copy : {in, into}) {
        if (copy >= 0)
            close(copy);
    }
    if (status != 0)
        refusal = SignerRefusal(printed, options);
    // Read in the held folder before the rename: the very bytes that go
    // in place.
    if (refusal.empty() && digest != nullptr) {
        const FileHandle signed_ = OpenSignedFile(held, kSignedName);
        if (signed_ == kNoFile || !DigestOfFile(signed_, *digest))
            refusal = L"cannot read back the signed wrapper in '" + folder + L"'";
        if (signed_ != kNoFile)
            CloseFile(signed_);
    }
    const FileProblem placed = refusal.empty() ? PutSignedInPlace(held, kSignedName, output) : kFileFine;
    if (placed != kFileFine)
        refusal = L"cannot write '" + output + L"': " + FileProblemText(placed);
    RemoveSigningFolder(held, folder, kSignedName);
    return refusal;
}
