// Protects the tools tests' independent check: catalogue replies decrypted by the openssl command line, not by the server's own code.
#include "OpensslCommand.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/foundation/HexString.h"

extern char** environ;

namespace testtools {

namespace {

std::atomic<int> fileCounter{0};

// Runs openssl with stdout and stderr sent to /dev/null; true when it exits with 0.
bool runOpenssl(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "openssl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<std::string> throughOpenssl(const std::string& body, const std::string& scratch,
                                          std::vector<std::string> arguments) {
    const std::string stem = scratch + "/openssl-" + std::to_string(fileCounter++);
    const std::string input = stem + ".in";
    const std::string output = stem + ".out";
    {
        std::ofstream out(input, std::ios::binary);
        out << body;
    }
    arguments.insert(arguments.end(), {"-in", input, "-out", output});
    const bool ok = runOpenssl(arguments);
    std::string plain;
    if (ok) {
        std::ifstream in(output, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        plain = buffer.str();
    }
    unlink(input.c_str());
    unlink(output.c_str());
    if (!ok) return std::nullopt;
    return plain;
}

}  // namespace

std::string replyKeyHex() {
    return hexString(std::string_view("wqle#*!408mzbrt5kc&e(7xy)26fhu0v"));
}

std::optional<std::string> opensslDecryptReply(const std::string& body, const std::string& scratch, bool singleLine) {
    std::vector<std::string> arguments{"openssl", "enc", "-d", "-aes-256-cbc", "-K", replyKeyHex(),
                                       "-iv",     "00000000000000000000000000000000", "-a"};
    if (singleLine) arguments.push_back("-A");
    return throughOpenssl(body, scratch, arguments);
}

std::optional<std::string> opensslBase64Decode(const std::string& body, const std::string& scratch) {
    return throughOpenssl(body, scratch, {"openssl", "base64", "-d", "-A"});
}

}  // namespace testtools
