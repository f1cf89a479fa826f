// The registry store against the Wine prefix's real registry and service control manager.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "registry/configuration.h"
#include "registry/system_registry.h"
#include "runner_test_support.h"
#include "service_fixture.h"

namespace {

using namespace runner_test;

constexpr wchar_t Service[] = L"HarbeeRegistryTestSvc";
constexpr wchar_t Other[] = L"HarbeeRegistryTestOther";

// The runner's view of one service: parse arguments, then load or save.
class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(createIdleService(Service, L"Kept by the manager")); }

    CommandLine* parse(std::vector<std::wstring> arguments) {
        arguments_ = std::move(arguments);
        arguments_.insert(arguments_.begin(), L"harbeesrv.exe");
        argv_.clear();
        for (std::wstring& argument : arguments_) argv_.push_back(argument.data());
        CommandLine* commandLine = parseCommandLine(static_cast<int>(argv_.size()), argv_.data());
        if (commandLine) applyEnvironmentOptions(commandLine);
        return commandLine;
    }

    static std::wstring parameters(const wchar_t* subkey = nullptr) {
        return runnerKey(Service) + L"\\Parameters" + (subkey ? std::wstring(L"\\") + subkey : L"");
    }
    static std::wstring stringOf(OptionIndex index) {
        return OptionTable[index].stringValue ? OptionTable[index].stringValue : L"";
    }
    static std::wstring entriesOf(OptionIndex index) {
        std::wstring text;
        for (const wchar_t* entry = OptionTable[index].stringValue; entry && *entry; entry += wcslen(entry) + 1)
            text += (text.empty() ? L"" : L"|") + std::wstring(entry);
        return text;
    }

    TestServices services_{{Service, Other}};
    PoolScope pools_;
    std::vector<std::wstring> arguments_;
    std::vector<wchar_t*> argv_;
};

TEST_F(RegistryStore, OpeningRefusesMissingOrOverlongNames) {
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L""}) {
        EXPECT_EQ(openServiceRegistry(KEY_READ, name), nullptr);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(openServiceRegistry(KEY_READ, std::wstring(256, L'n').c_str()), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(openServiceRegistry(KEY_READ, std::wstring(255, L'n').c_str()), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryStore, ReadingNeedsEveryKeyWritingOnlyTheManagersKey) {
    EXPECT_EQ(openServiceRegistry(KEY_READ, Service), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(openServiceRegistry(KEY_WRITE, Other), nullptr);  // no such service
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    RegistryHandle* written = openServiceRegistry(KEY_WRITE, Service);
    ASSERT_NE(written, nullptr);
    closeTypedHandle(written);
    EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, parameters()));
    EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, serviceKey(Service) + L"\\Parameters"));
    RegistryHandle* read = openServiceRegistry(KEY_READ, Service);
    ASSERT_NE(read, nullptr);
    closeTypedHandle(read);

    // A store without its "Parameters" key cannot be read, and loading says so.
    ASSERT_EQ(::RegDeleteKeyW(HKEY_LOCAL_MACHINE, parameters().c_str()), ERROR_SUCCESS);
    EXPECT_EQ(openServiceRegistry(KEY_READ, Service), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    CommandLine* commandLine = parse({L"//ES//HarbeeRegistryTestSvc"});
    ASSERT_NE(commandLine, nullptr);
    EXPECT_FALSE(loadConfiguration(commandLine));
}

TEST_F(RegistryStore, SavedOptionsLandInTheirSubkeysAndLoadBack) {
    CommandLine* install = parse({L"//IS//HarbeeRegistryTestSvc", L"--DisplayName=Not stored here",
                                  L"--JvmOptions=-Xrs;-Dx=1", L"--JvmMx=256", L"--StartPath=C:\\work",
                                  L"--Password=secret", L"--LogLevel=debug", L"--StartParams=one"});
    ASSERT_NE(install, nullptr);
    ASSERT_TRUE(saveConfiguration(install));

    EXPECT_EQ(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(L"Java"), L"Options")->entries(), L"-Xrs|-Dx=1");
    EXPECT_EQ(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(L"Java"), L"Options")->type,
              static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(L"Java"), L"JvmMx")->number(), 256u);
    EXPECT_EQ(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(L"Start"), L"WorkingPath")->text(), L"C:\\work");
    EXPECT_EQ(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(L"Log"), L"Level")->text(), L"debug");
    EXPECT_FALSE(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(), L"DisplayName"));
    EXPECT_FALSE(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(), L"Password"));

    CommandLine* start = parse({L"//ES//HarbeeRegistryTestSvc"});
    ASSERT_NE(start, nullptr);
    ASSERT_TRUE(loadConfiguration(start));
    EXPECT_EQ(entriesOf(OPTION_JVM_OPTIONS), L"-Xrs|-Dx=1");
    EXPECT_EQ(entriesOf(OPTION_START_PARAMS), L"one");
    EXPECT_EQ(optionNumber(OPTION_JVM_MX), 256);
    EXPECT_EQ(stringOf(OPTION_START_PATH), L"C:\\work");
    EXPECT_EQ(stringOf(OPTION_LOG_LEVEL), L"debug");
    EXPECT_EQ(stringOf(OPTION_DISPLAY_NAME), Service);  // the manager's, not the runner's
    EXPECT_EQ(stringOf(OPTION_DESCRIPTION), L"Kept by the manager");
    EXPECT_EQ(OptionTable[OPTION_PASSWORD].stringValue, nullptr);
}

TEST_F(RegistryStore, LoadingReadsOnlyWhatEachRowAllows) {
    CommandLine* install = parse({L"//IS//HarbeeRegistryTestSvc", L"--StopMode=jvm"});
    ASSERT_NE(install, nullptr);
    ASSERT_TRUE(saveConfiguration(install));
    const std::wstring folder = L"C:\\expanded";
    ::SetEnvironmentVariableW(L"HARBEE_TEST_FOLDER", folder.c_str());
    writeRegistryString(HKEY_LOCAL_MACHINE, parameters(), L"DisplayName", L"From the runner's key");
    writeRegistryString(HKEY_LOCAL_MACHINE, parameters(L"Start"), L"WorkingPath", L"%HARBEE_TEST_FOLDER%\\work");
    writeRegistryString(HKEY_LOCAL_MACHINE, parameters(L"Stop"), L"WorkingPath", L"C:\\plain");
    writeRegistryString(HKEY_LOCAL_MACHINE, parameters(L"Start"), L"Class", L"%SystemRoot%", REG_EXPAND_SZ);
    writeRegistryString(HKEY_LOCAL_MACHINE, parameters(L"Java"), L"JvmMx", L"512");
    writeRegistryString(HKEY_LOCAL_MACHINE, parameters(L"Start"), L"Params", L"single");
    const wchar_t truncated[] = {L'a', 0, L'b'};  // no NUL after the last entry
    writeRegistryValue(HKEY_LOCAL_MACHINE, parameters(L"Java"), L"Options", REG_MULTI_SZ, truncated, sizeof(truncated));
    writeRegistryString(HKEY_LOCAL_MACHINE, parameters(L"Stop"), L"Class", L"Stored");

    CommandLine* update = parse({L"//US//HarbeeRegistryTestSvc", L"++JvmOptions=-Da", L"--StopClass=Given"});
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(loadConfiguration(update));
    ::SetEnvironmentVariableW(L"HARBEE_TEST_FOLDER", nullptr);

    EXPECT_EQ(stringOf(OPTION_DISPLAY_NAME), Service);
    EXPECT_EQ(stringOf(OPTION_TYPE), L"");          // a number in the manager's key
    EXPECT_EQ(stringOf(OPTION_SERVICE_USER), L"");  // no such value in the manager's key
    EXPECT_EQ(stringOf(OPTION_STARTUP), L"");
    EXPECT_EQ(stringOf(OPTION_START_PATH), folder + L"\\work");
    EXPECT_EQ(stringOf(OPTION_STOP_PATH), L"C:\\plain");
    EXPECT_EQ(stringOf(OPTION_START_CLASS), L"");  // not REG_SZ
    EXPECT_EQ(stringOf(OPTION_STOP_MODE), L"jvm");
    EXPECT_EQ(optionNumber(OPTION_JVM_MX), 0);            // not REG_DWORD
    EXPECT_EQ(optionNumber(OPTION_LOG_JNI_MESSAGES), 1);  // missing: the initial value
    EXPECT_EQ(entriesOf(OPTION_START_PARAMS), L"single");
    EXPECT_EQ(entriesOf(OPTION_JVM_OPTIONS), L"a|b|-Da");
    EXPECT_EQ(optionNumber(OPTION_JVM_OPTIONS), static_cast<LONG>(sizeof(L"a\0b\0-Da\0")));
    EXPECT_EQ(stringOf(OPTION_STOP_CLASS), L"Given");
}

// A WR_ list is added to the stored one at every run: what is stored already is not added again,
// so updating twice stores each entry once.
TEST_F(RegistryStore, EnvironmentListsAddOnlyWhatIsNotStoredYet) {
    CommandLine* install = parse({L"//IS//HarbeeRegistryTestSvc", L"--JvmOptions=-Da"});
    ASSERT_NE(install, nullptr);
    ASSERT_TRUE(saveConfiguration(install));
    ::SetEnvironmentVariableW(L"WR_JvmOptions", L"-Da;-Db");
    for (int update = 0; update < 2; ++update) {
        CommandLine* commandLine = parse({L"//US//HarbeeRegistryTestSvc"});
        ASSERT_NE(commandLine, nullptr);
        ASSERT_TRUE(loadConfiguration(commandLine));
        ASSERT_TRUE(saveConfiguration(commandLine));
    }
    ::SetEnvironmentVariableW(L"WR_JvmOptions", nullptr);
    EXPECT_EQ(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(L"Java"), L"Options")->entries(), L"-Da|-Db");

    CommandLine* commandLine = parse({L"//US//HarbeeRegistryTestSvc", L"++JvmOptions=-Da"});
    ASSERT_NE(commandLine, nullptr);
    ASSERT_TRUE(loadConfiguration(commandLine));
    EXPECT_EQ(entriesOf(OPTION_JVM_OPTIONS), L"-Da|-Db|-Da") << "on the command line, ++ adds what it is told";
}

TEST_F(RegistryStore, SavingAnEmptyStringRemovesTheValue) {
    CommandLine* install = parse({L"//IS//HarbeeRegistryTestSvc", L"--StopClass=Stored"});
    ASSERT_NE(install, nullptr);
    ASSERT_TRUE(saveConfiguration(install));
    EXPECT_TRUE(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(L"Stop"), L"Class"));
    CommandLine* update = parse({L"//US//HarbeeRegistryTestSvc", L"--StopClass="});
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(saveConfiguration(update));
    EXPECT_FALSE(readRegistryValue(HKEY_LOCAL_MACHINE, parameters(L"Stop"), L"Class"));
}

TEST_F(RegistryStore, DeletingRemovesBothRootsAndKeepsTheProductKeyWhileOthersRemain) {
    const std::wstring product = std::wstring(L"SOFTWARE\\") + ProductKey;
    writeRegistryString(HKEY_LOCAL_MACHINE, runnerKey(Service) + L"\\Parameters\\Log", L"Path", L"C:\\logs");
    writeRegistryString(HKEY_LOCAL_MACHINE, runnerKey(Other) + L"\\Parameters", L"User", L"someone");
    writeRegistryString(HKEY_CURRENT_USER, runnerKey(Service) + L"\\Parameters", L"User", L"someone");

    EXPECT_TRUE(deleteServiceRegistry(Service));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, runnerKey(Service)));
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, runnerKey(Service)));
    EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, runnerKey(Other)));

    EXPECT_TRUE(deleteServiceRegistry(Other));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, runnerKey(Other)));
    EXPECT_FALSE(deleteServiceRegistry(std::wstring(256, L'n').c_str()));
}

class JavaRegistry : public ::testing::Test {
protected:
    static constexpr wchar_t Runtime[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
    static constexpr wchar_t Kit[] = L"SOFTWARE\\JavaSoft\\Java Development Kit";

    void SetUp() override {
        ASSERT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\JavaSoft")) << "the prefix has a Java";
        ::SetEnvironmentVariableW(L"JAVA_HOME", nullptr);
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\JavaSoft");
        ::SetEnvironmentVariableW(L"JAVA_HOME", nullptr);
    }
    static void installJava() {
        writeRegistryString(HKEY_LOCAL_MACHINE, Runtime, L"CurrentVersion", L"1.8");
        writeRegistryString(HKEY_LOCAL_MACHINE, std::wstring(Runtime) + L"\\1.8", L"JavaHome", L"C:\\jre");
        writeRegistryString(HKEY_LOCAL_MACHINE, std::wstring(Runtime) + L"\\1.8", L"RuntimeLib",
                            L"C:\\jre\\bin\\server\\jvm.dll");
        writeRegistryString(HKEY_LOCAL_MACHINE, Kit, L"CurrentVersion", L"17");
        writeRegistryString(HKEY_LOCAL_MACHINE, std::wstring(Kit) + L"\\17", L"JavaHome", L"C:\\jdk");
    }
    static std::wstring text(const wchar_t* value) { return value ? value : L"(none)"; }
    static std::wstring javaHomeVariable() {
        wchar_t value[MAX_PATH] = L"";
        return ::GetEnvironmentVariableW(L"JAVA_HOME", value, MAX_PATH) ? value : L"(none)";
    }

    PoolScope pools_;
};

TEST_F(JavaRegistry, NothingInstalledFindsNothing) {
    EXPECT_EQ(text(findJavaHome(FALSE)), L"(none)");
    EXPECT_EQ(text(findJavaHome(TRUE)), L"(none)");
    EXPECT_EQ(text(findRuntimeLib()), L"(none)");
}

TEST_F(JavaRegistry, KitRuntimeAndJavaHomeVariable) {
    installJava();
    EXPECT_EQ(text(findJavaHome(FALSE)), L"C:\\jdk");
    EXPECT_EQ(javaHomeVariable(), L"C:\\jdk");
    ::SetEnvironmentVariableW(L"JAVA_HOME", L"C:\\from-environment");
    EXPECT_EQ(text(findJavaHome(FALSE)), L"C:\\from-environment");
    EXPECT_EQ(text(findJavaHome(TRUE)), L"C:\\jre");
    EXPECT_EQ(javaHomeVariable(), L"C:\\jre");
    EXPECT_EQ(text(findRuntimeLib()), L"C:\\jre\\bin\\server\\jvm.dll");
}

TEST(SystemRegistry, KillTimeoutDefaultsTo20Seconds) {
    constexpr wchar_t Control[] = L"SYSTEM\\CurrentControlSet\\Control";
    const auto saved = readRegistryValue(HKEY_LOCAL_MACHINE, Control, L"WaitToKillServiceTimeout");
    const struct {
        const wchar_t* stored;
        DWORD milliseconds;
    } cases[] = {{nullptr, 20000}, {L"", 20000}, {L"12000", 12000}, {L"-1", 20000}};
    for (const auto& c : cases) {
        if (c.stored)
            writeRegistryString(HKEY_LOCAL_MACHINE, Control, L"WaitToKillServiceTimeout", c.stored);
        else
            ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, Control, L"WaitToKillServiceTimeout");
        EXPECT_EQ(readKillServiceTimeout(), c.milliseconds) << (c.stored ? brisko::wideToAnsi(c.stored) : "absent");
    }
    if (saved)
        writeRegistryValue(HKEY_LOCAL_MACHINE, Control, L"WaitToKillServiceTimeout", saved->type, saved->data.data(),
                           static_cast<DWORD>(saved->data.size()));
    else
        ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, Control, L"WaitToKillServiceTimeout");
}

TEST_F(RegistryStore, ServiceDescriptionAndAccountAsTheManagerKeepsThem) {
    wchar_t text[1024];
    ASSERT_TRUE(readServiceDescription(Service, text, sizeof(text)));
    EXPECT_STREQ(text, L"Kept by the manager");
    ASSERT_TRUE(readServiceAccount(Service, text, sizeof(text)));
    EXPECT_STREQ(text, L"LocalSystem");
    EXPECT_FALSE(readServiceDescription(Other, text, sizeof(text)));
    wchar_t tooSmall[4];
    EXPECT_FALSE(readServiceDescription(Service, tooSmall, sizeof(tooSmall)));
}

}  // namespace
