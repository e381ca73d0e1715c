// Protects the keychain store: items added, found, updated and removed, its private file, damage reports, and changes from many threads and processes.
#include <doctest/doctest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/security/Keychain.h"
#include "support/TestEnvironment.h"

namespace {

Value item(const std::string& account, const std::string& secret, const std::string& service = "svc") {
    return Value{{kSecClass, kSecClassGenericPassword},
                 {kSecAttrService, service},
                 {kSecAttrAccount, account},
                 {kSecValueData, dataFromString(secret)}};
}

Value query(const std::string& account, const std::string& service = "svc") {
    return Value{{kSecClass, kSecClassGenericPassword}, {kSecAttrService, service}, {kSecAttrAccount, account}};
}

std::optional<std::string> secret(const std::string& account, const std::string& service = "svc") {
    Value q = query(account, service);
    q.setObject(kSecReturnData, true);
    Value result;
    if (SecItemCopyMatching(q, &result) != errSecSuccess || !result.isData()) return std::nullopt;
    return stringFromData(*result.data());
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int shellStatus(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_CASE("keychain items are added found and removed with the platform status codes") {
    testsupport::TempHome home;
    CHECK(SecItemCopyMatching(query("a"), nullptr) == errSecItemNotFound);
    Value returned;
    Value withReturn = item("a", "secret-a");
    withReturn.setObject(kSecReturnData, true);
    CHECK(SecItemAdd(withReturn, &returned) == errSecSuccess);
    CHECK(returned == Value(dataFromString("secret-a")));
    CHECK(secret("a") == "secret-a");
    CHECK(SecItemAdd(item("a", "other"), nullptr) == errSecDuplicateItem);
    CHECK(secret("a") == "secret-a");
    // Same account under another service is another item.
    CHECK(SecItemAdd(item("a", "elsewhere", "svc2"), nullptr) == errSecSuccess);
    CHECK(secret("a", "svc2") == "elsewhere");
    CHECK(SecItemDelete(query("a")) == errSecSuccess);
    CHECK_FALSE(secret("a").has_value());
    CHECK(secret("a", "svc2") == "elsewhere");
    CHECK(SecItemDelete(query("a")) == errSecItemNotFound);
    // A query without service matches across services.
    Value anyService{{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, "a"}};
    CHECK(SecItemDelete(anyService) == errSecSuccess);
    CHECK(SecItemCopyMatching(anyService, nullptr) == errSecItemNotFound);
}

TEST_CASE("keychain searches return data attributes or every match") {
    testsupport::TempHome home;
    REQUIRE(SecItemAdd(item("one", "1"), nullptr) == errSecSuccess);
    Value second = item("two", "2");
    second.setObject(kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock);
    second.setObject(kSecAttrLabel, "Second");
    REQUIRE(SecItemAdd(second, nullptr) == errSecSuccess);

    Value q{{kSecClass, kSecClassGenericPassword}, {kSecAttrService, "svc"}, {kSecReturnAttributes, true},
            {kSecMatchLimit, kSecMatchLimitAll}};
    Value all;
    REQUIRE(SecItemCopyMatching(q, &all) == errSecSuccess);
    REQUIRE(all.isArray());
    REQUIRE(all.count() == 2);
    CHECK(all[0][kSecAttrAccount] == Value("one"));
    CHECK(all[0][kSecAttrAccessible] == Value(kSecAttrAccessibleWhenUnlocked));  // the default
    CHECK(all[0][kSecValueData].isNull());                                        // not asked for
    CHECK(all[1][kSecAttrAccessible] == Value(kSecAttrAccessibleAfterFirstUnlock));
    CHECK(all[1][kSecAttrLabel] == Value("Second"));

    Value byLabel{{kSecClass, kSecClassGenericPassword}, {kSecAttrLabel, "Second"}, {kSecReturnData, true},
                  {kSecReturnAttributes, true}};
    Value one;
    REQUIRE(SecItemCopyMatching(byLabel, &one) == errSecSuccess);
    CHECK(one[kSecAttrAccount] == Value("two"));
    CHECK(one[kSecValueData] == Value(dataFromString("2")));
    // Without a return key the search only reports whether something matches.
    Value nothingAsked;
    CHECK(SecItemCopyMatching(query("one"), &nothingAsked) == errSecSuccess);
    CHECK(nothingAsked.isNull());
}

TEST_CASE("keychain updates change data and attributes of matching items") {
    testsupport::TempHome home;
    REQUIRE(SecItemAdd(item("a", "old"), nullptr) == errSecSuccess);
    REQUIRE(SecItemAdd(item("b", "bee"), nullptr) == errSecSuccess);
    CHECK(SecItemUpdate(query("a"), Value{{kSecValueData, dataFromString("new")},
                                          {kSecAttrAccessible, kSecAttrAccessibleAlways}}) == errSecSuccess);
    CHECK(secret("a") == "new");
    CHECK(SecItemUpdate(query("missing"), Value{{kSecValueData, dataFromString("x")}}) == errSecItemNotFound);
    // Renaming onto an existing item is refused and changes nothing.
    CHECK(SecItemUpdate(query("a"), Value{{kSecAttrAccount, "b"}}) == errSecDuplicateItem);
    CHECK(secret("a") == "new");
    CHECK(secret("b") == "bee");
    CHECK(SecItemUpdate(query("a"), Value{{kSecAttrAccount, "c"}}) == errSecSuccess);
    CHECK(secret("c") == "new");
    CHECK_FALSE(secret("a").has_value());
}

TEST_CASE("keychain calls check their queries") {
    testsupport::TempHome home;
    CHECK(SecItemAdd(Value("not a dictionary"), nullptr) == errSecParam);
    CHECK(SecItemAdd(Value{{kSecAttrAccount, "a"}}, nullptr) == errSecParam);  // no class
    CHECK(SecItemAdd(Value{{kSecClass, "cert"}, {kSecAttrAccount, "a"}}, nullptr) == errSecUnimplemented);
    Value stringData = query("a");
    stringData.setObject(kSecValueData, "text, not data");
    CHECK(SecItemAdd(stringData, nullptr) == errSecParam);
    Value badAccess = item("a", "x");
    badAccess.setObject(kSecAttrAccessible, "sometimes");
    CHECK(SecItemAdd(badAccess, nullptr) == errSecParam);
    Value badLimit = query("a");
    badLimit.setObject(kSecMatchLimit, "m_LimitTwo");
    CHECK(SecItemCopyMatching(badLimit, nullptr) == errSecParam);
    CHECK(SecItemUpdate(query("a"), Value{{kSecClass, kSecClassGenericPassword}}) == errSecParam);
    CHECK(SecItemUpdate(query("a"), Value("x")) == errSecParam);
    CHECK(SecItemDelete(Value()) == errSecParam);
    // None of these wrote anything.
    CHECK_FALSE(std::filesystem::exists(AppHome::keychainFile()));
}

TEST_CASE("the keychain file is private replaced whole and outside the data folders") {
    testsupport::TempHome home;
    const std::string path = AppHome::keychainFile();
    CHECK(std::filesystem::path(path).parent_path() == std::filesystem::path(home.path()));
    REQUIRE(SecItemAdd(item("a", "secret"), nullptr) == errSecSuccess);
    struct stat st {};
    REQUIRE(::stat(path.c_str(), &st) == 0);
    CHECK((st.st_mode & 0777) == 0600);
    // Each change renames a complete new file into place and leaves no temporary behind.
    const ino_t before = st.st_ino;
    REQUIRE(SecItemUpdate(query("a"), Value{{kSecValueData, dataFromString("changed")}}) == errSecSuccess);
    REQUIRE(::stat(path.c_str(), &st) == 0);
    CHECK(st.st_ino != before);
    CHECK((st.st_mode & 0777) == 0600);
    for (const auto& entry : std::filesystem::directory_iterator(home.path()))
        CHECK(entry.path().filename().string().find(".tmp.") == std::string::npos);
    // The secret is not written as plain text.
    CHECK(fileText(path).find("changed") == std::string::npos);

    // Removing the application's data (a reinstall) keeps the keychain.
    for (const char* folder : {"Documents", "Library", "tmp"}) std::filesystem::remove_all(home.path() + "/" + folder);
    CHECK(secret("a") == "changed");
}

TEST_CASE("QUORVANE_KEYCHAIN chooses the keychain file") {
    testsupport::TempHome home;
    const std::string custom = home.path() + "/elsewhere/kc.json";
    setenv("QUORVANE_KEYCHAIN", custom.c_str(), 1);
    CHECK(SecItemAdd(item("a", "here"), nullptr) == errSecSuccess);
    CHECK(std::filesystem::exists(custom));
    CHECK(secret("a") == "here");
    unsetenv("QUORVANE_KEYCHAIN");
    CHECK_FALSE(secret("a").has_value());
    // A keychain that cannot be written reports an I/O error.
    setenv("QUORVANE_KEYCHAIN", "/dev/null/kc.json", 1);
    CHECK(SecItemAdd(item("a", "x"), nullptr) == errSecIO);
    CHECK(SecItemCopyMatching(query("a"), nullptr) == errSecItemNotFound);
    unsetenv("QUORVANE_KEYCHAIN");
}

TEST_CASE("a damaged keychain file is reported and never overwritten") {
    testsupport::TempHome home;
    const std::string path = AppHome::keychainFile();
    {
        std::ofstream out(path);
        out << "{\"items\": [ {\"class\": \"genp\", ";
    }
    const std::string damaged = fileText(path);
    CHECK(SecItemCopyMatching(query("a"), nullptr) == errSecDecode);
    CHECK(SecItemAdd(item("a", "x"), nullptr) == errSecDecode);
    CHECK(SecItemDelete(query("a")) == errSecDecode);
    CHECK(fileText(path) == damaged);
}

TEST_CASE("keychain changes from many threads are all kept") {
    testsupport::TempHome home;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 10; ++i)
                SecItemAdd(item("t" + std::to_string(t) + "-" + std::to_string(i), "v"), nullptr);
        });
    for (auto& th : threads) th.join();
    Value all;
    Value q{{kSecClass, kSecClassGenericPassword}, {kSecReturnAttributes, true}, {kSecMatchLimit, kSecMatchLimitAll}};
    REQUIRE(SecItemCopyMatching(q, &all) == errSecSuccess);
    CHECK(all.count() == 80);
}

// Run by the test below in processes of their own.
TEST_CASE("keychain writer helper process" * doctest::skip()) {
    const char* prefix = std::getenv("KEYCHAIN_WRITER_PREFIX");
    REQUIRE(prefix);
    for (int i = 0; i < 10; ++i) REQUIRE(SecItemAdd(item(std::string(prefix) + std::to_string(i), "v"), nullptr) == errSecSuccess);
}

TEST_CASE("keychain changes from several processes at once are all kept") {
    testsupport::TempHome home;
    const std::string keychain = AppHome::keychainFile();
    std::string command;
    for (int p = 0; p < 4; ++p)
        command += "KEYCHAIN_WRITER_PREFIX=p" + std::to_string(p) + "- QUORVANE_KEYCHAIN='" + keychain + "' '" +
                   testsupport::selfExecutable() +
                   "' --no-skip --test-case='keychain writer helper process' >/dev/null & ";
    command += "wait";
    REQUIRE(shellStatus(command) == 0);
    Value all;
    Value q{{kSecClass, kSecClassGenericPassword}, {kSecReturnAttributes, true}, {kSecMatchLimit, kSecMatchLimitAll}};
    REQUIRE(SecItemCopyMatching(q, &all) == errSecSuccess);
    CHECK(all.count() == 40);
}
