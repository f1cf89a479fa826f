// SystemUsers.getUsers: the account filters, the paging of the account database through a
// recording double of NetUserEnum, and the HashMap built through JNI with each of its failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_jvm.h"
#include "host/host_exports.h"
#include "host/user_accounts.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Entries = std::vector<std::pair<std::wstring, std::wstring>>;

struct Entry {
    const wchar_t* name;
    const wchar_t* fullName;
    DWORD flags = UF_NORMAL_ACCOUNT;
};

// One answer of the account database.
struct Page {
    NET_API_STATUS status;
    std::vector<Entry> entries;
    bool nullBuffer = false;  // entries are counted but no buffer comes with them
    bool movesOn = true;      // the resume handle advances
};

// The account database as NetUserEnum answers it, one page per call (the last page again once
// they are used up). Installs itself for its lifetime and checks that every buffer came back.
class AccountDatabase {
public:
    explicit AccountDatabase(std::vector<Page> pages) : pages_(std::move(pages)), saved_(CurrentUserEnumeration()) {
        CurrentUserEnumeration() = UserEnumeration{
            [this](BYTE** buffer, DWORD* read, DWORD* total, DWORD* resume) {
                resumes.push_back(*resume);
                const Page& page = pages_[std::min(next_++, pages_.size() - 1)];
                *read = static_cast<DWORD>(page.entries.size());
                *total = *read;
                if (page.movesOn) *resume += 1;
                *buffer = nullptr;
                if (page.nullBuffer || page.entries.empty()) return page.status;
                auto* entries = new USER_INFO_20[page.entries.size()]{};
                for (size_t i = 0; i < page.entries.size(); ++i) {
                    entries[i].usri20_name = const_cast<wchar_t*>(page.entries[i].name);
                    entries[i].usri20_full_name = const_cast<wchar_t*>(page.entries[i].fullName);
                    entries[i].usri20_flags = page.entries[i].flags;
                }
                ++outstanding_;
                *buffer = reinterpret_cast<BYTE*>(entries);
                return page.status;
            },
            [this](void* buffer) {
                --outstanding_;
                delete[] static_cast<USER_INFO_20*>(buffer);
            },
        };
    }
    ~AccountDatabase() {
        CurrentUserEnumeration() = saved_;
        EXPECT_EQ(outstanding_, 0) << "every answer is freed";
    }
    AccountDatabase(const AccountDatabase&) = delete;
    AccountDatabase& operator=(const AccountDatabase&) = delete;

    std::vector<DWORD> resumes;

private:
    std::vector<Page> pages_;
    UserEnumeration saved_;
    size_t next_ = 0;
    int outstanding_ = 0;
};

// Runs the enumeration and answers what it wrote to the standard error stream.
std::string Enumerate(std::optional<std::vector<UserAccount>>& accounts) {
    ::testing::internal::CaptureStderr();
    accounts = EnumerateUserAccounts();
    return ::testing::internal::GetCapturedStderr();
}

Entries Names(const std::vector<UserAccount>& accounts) {
    Entries names;
    for (const UserAccount& account : accounts) names.emplace_back(account.name, account.fullName);
    return names;
}

TEST(UserMap, LeavesOutServiceAccountsAndGivesNamelessAccountsTheirOwnName) {
    const std::wstring longFullName(256, L'N');
    const std::vector<UserAccount> accounts = {
        {L"alice", L"Alice Martin"}, {L"bob", L""},          {L"MACHINE$", L"Machine"}, {L"sshd", L""},
        {L"SSHD", L""},              {L"aspnet", L""},       {L"ASPNETUSER", L""},      {L"updatususer", L""},
        {L"UpdatusUser", L""},       {L"", L"Nobody"},       {L"$alice", L""},          {L"carol", longFullName},
    };
    EXPECT_THAT(UserMapEntries(accounts),
                ElementsAre(Entries::value_type{L"alice", L"Alice Martin"}, Entries::value_type{L"bob", L"bob"},
                            Entries::value_type{L"ASPNETUSER", L"ASPNETUSER"}, Entries::value_type{L"$alice", L"$alice"},
                            Entries::value_type{L"carol", longFullName}));
}

TEST(UserEnumeration, FollowsEveryPageAndKeepsTheNamedEnabledAccounts) {
    AccountDatabase database({
        Page{ERROR_MORE_DATA, {{L"alice", L"Alice"}, {L"dave", L"Dave", UF_NORMAL_ACCOUNT | UF_ACCOUNTDISABLE}}},
        Page{ERROR_MORE_DATA, {{L"lost", L"Lost"}, {L"lost2", L"Lost"}}, true},
        Page{NERR_Success, {{L"bob", nullptr}, {nullptr, L"No name"}, {L"sshd", L""}}},
    });
    std::optional<std::vector<UserAccount>> accounts;
    EXPECT_EQ(Enumerate(accounts), "An access violation has occurred\n");
    ASSERT_TRUE(accounts);
    EXPECT_THAT(Names(*accounts), ElementsAre(Entries::value_type{L"alice", L"Alice"}, Entries::value_type{L"bob", L""},
                                              Entries::value_type{L"sshd", L""}));
    EXPECT_THAT(database.resumes, ElementsAre(0u, 1u, 2u)) << "each call goes on where the last one stopped";
}

TEST(UserEnumeration, AFailingPageGivesNoListAndTheStatus) {
    AccountDatabase database({Page{ERROR_MORE_DATA, {{L"alice", L"Alice"}}}, Page{ERROR_ACCESS_DENIED, {}}});
    std::optional<std::vector<UserAccount>> accounts;
    EXPECT_EQ(Enumerate(accounts), "A system error has occurred: 5\n");
    EXPECT_FALSE(accounts);
}

TEST(UserEnumeration, MoreDataWithoutProgressEndsInsteadOfAskingForEver) {
    AccountDatabase database({Page{ERROR_MORE_DATA, {}, false, false}});
    std::optional<std::vector<UserAccount>> accounts;
    EXPECT_EQ(Enumerate(accounts), "A system error has occurred: 13\n");
    EXPECT_FALSE(accounts);
    EXPECT_EQ(database.resumes.size(), 1u);
}

class GetUsers : public ::testing::Test {
protected:
    ~GetUsers() override {
        EXPECT_EQ(jvm.unreleasedStrings(), 0u);
        EXPECT_THAT(jvm.misuse(), IsEmpty());
    }

    // Calls the export as the VM does; the result is the only local reference it may leave.
    fakejvm::ObjectPtr Call() {
        fakejvm::NativeFrame frame(jvm, env);
        const size_t before = jvm.localRefs(::GetCurrentThreadId());
        ::testing::internal::CaptureStderr();
        jobject map = Java_jni_com_brisko_desktop_windows_SystemUsers_getUsers(env, nullptr);
        diagnostics = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(jvm.localRefs(::GetCurrentThreadId()), before + (map ? 1 : 0));
        return jvm.resolve(map);
    }

    fakejvm::ObjectPtr TakePending() {
        const fakejvm::ObjectPtr pending = jvm.pendingException(::GetCurrentThreadId());
        env->ExceptionClear();
        return pending;
    }

    AccountDatabase database{{Page{NERR_Success, {{L"alice", L"Alice Martin"}, {L"bob", L""}, {L"HOST$", L""}}}}};
    fakejvm::Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
    std::string diagnostics;
};

TEST_F(GetUsers, MapsEachAccountToItsFullNameOrItsOwnName) {
    const fakejvm::ObjectPtr map = Call();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->javaClass().name(), "java/util/HashMap");
    ASSERT_EQ(map->entries.size(), 2u);
    EXPECT_EQ(map->entries[0].first->text, L"alice");
    EXPECT_EQ(map->entries[0].second->text, L"Alice Martin");
    EXPECT_EQ(map->entries[1].first->text, L"bob");
    EXPECT_EQ(map->entries[1].second->text, L"bob");
    EXPECT_EQ(TakePending(), nullptr);
    EXPECT_EQ(diagnostics, "");
}

TEST_F(GetUsers, AnUnreadableAccountDatabaseGivesNullWithoutException) {
    AccountDatabase failing({Page{ERROR_ACCESS_DENIED, {}}});
    EXPECT_EQ(Call(), nullptr);
    EXPECT_EQ(TakePending(), nullptr);
    EXPECT_EQ(diagnostics, "A system error has occurred: 5\n");
}

TEST_F(GetUsers, AnExceptionOfPutEndsTheMapAndReachesTheCaller) {
    jvm.removeClass("java/util/HashMap");
    jvm.defineClass("java/util/HashMap", "java/util/Map")
        .method("<init>", "()V", [](fakejvm::Call&) { return fakejvm::Value{}; })
        .method("put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;", [](fakejvm::Call& call) {
            call.raise("java/lang/RuntimeException", L"full");
            return fakejvm::Value{};
        });
    EXPECT_EQ(Call(), nullptr);
    const fakejvm::ObjectPtr pending = TakePending();
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->javaClass().name(), "java/lang/RuntimeException");
}

struct MapFailure {
    const char* name;
    std::function<void(fakejvm::Jvm&)> breakMap;
    const char* exceptionClass;
    const wchar_t* message;
};

class GetUsersMapFailure : public GetUsers, public ::testing::WithParamInterface<MapFailure> {};

TEST_P(GetUsersMapFailure, RaisesItsExceptionAndGivesNull) {
    jvm.removeClass("java/util/HashMap");
    GetParam().breakMap(jvm);
    EXPECT_EQ(Call(), nullptr);
    const fakejvm::ObjectPtr pending = TakePending();
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->javaClass().name(), GetParam().exceptionClass);
    EXPECT_EQ(pending->text, GetParam().message);
}

fakejvm::Value Nothing(fakejvm::Call&) { return {}; }

INSTANTIATE_TEST_SUITE_P(
    Failures, GetUsersMapFailure,
    ::testing::Values(
        MapFailure{"class_missing", [](fakejvm::Jvm&) {}, "java/lang/ClassNotFoundException", L"Class not found"},
        MapFailure{"constructor_missing", [](fakejvm::Jvm& jvm) { jvm.defineClass("java/util/HashMap", ""); },
                   "java/lang/NoSuchMethodError", L"Constructor not found"},
        MapFailure{"constructor_raises",
                   [](fakejvm::Jvm& jvm) {
                       jvm.defineClass("java/util/HashMap", "java/util/Map")
                           .method("<init>", "()V", [](fakejvm::Call& call) {
                               call.raise("java/lang/RuntimeException", L"no memory");
                               return fakejvm::Value{};
                           });
                   },
                   "java/lang/InstantiationException", L"Create instance failed"},
        MapFailure{"put_missing",
                   [](fakejvm::Jvm& jvm) { jvm.defineClass("java/util/HashMap", "").method("<init>", "()V", Nothing); },
                   "java/lang/NoSuchMethodError", L"Cannot found method"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brisko::testing
