// Protects the core tests' helpers: reference tools run as commands, files and hex text they compare with.
#include "TestTools.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/foundation/HexString.h"

namespace coretest {

CommandResult runCommand(const std::string& commandLine) {
    CommandResult result;
    FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (!pipe) return result;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, n);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out.push_back(c);
    }
    return out + "'";
}

void writeFile(const std::string& path, const Data& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::optional<Data> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return Data(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string hex(const Data& bytes) { return hexString(bytes); }

std::string upper(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string captureStandardOutput(const std::function<void()>& block) {
    char path[] = "/tmp/quorvane-stdout-XXXXXX";
    int fd = ::mkstemp(path);
    if (fd < 0) return {};
    std::fflush(stdout);
    int saved = ::dup(STDOUT_FILENO);
    ::dup2(fd, STDOUT_FILENO);
    block();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(fd);
    auto bytes = readFile(path);
    ::unlink(path);
    return bytes ? stringFromData(*bytes) : std::string();
}

Data patternBytes(std::size_t count, unsigned seed) {
    std::mt19937 gen(seed);
    Data out(count);
    for (auto& b : out) b = static_cast<std::uint8_t>(gen() & 0xFF);
    return out;
}

}  // namespace coretest
