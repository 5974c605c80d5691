#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "kycplib/sync.h"
#include "test_support.h"

using kycplib::CKYEvent;
using kycplib::CKYMutex;
using kycplib::CKYSyncObject;
using kycplib_test::Handle;
using kycplib_test::RunProbe;
using kycplib_test::StartProbe;
using kycplib_test::UniqueName;

namespace {

// Each object owns its handle alone: a copy would close it twice.
static_assert(!std::is_copy_constructible<CKYMutex>::value &&
                  !std::is_copy_assignable<CKYMutex>::value,
              "mutex not copyable");
static_assert(!std::is_copy_constructible<CKYEvent>::value &&
                  !std::is_copy_assignable<CKYEvent>::value,
              "event not copyable");

const DWORD kProbeSaysYes = 1;
const DWORD kProbeSaysNo = 0;

// Waits for the helper's ready event, or fails when the helper ended before setting it.
::testing::AssertionResult WaitForProbe(CKYEvent& ready, HANDLE process) {
    HANDLE handles[] = {ready.GetHandle(), process};
    DWORD which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (which == WAIT_OBJECT_0) {
        return ::testing::AssertionSuccess();
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    return ::testing::AssertionFailure() << "helper ended first with exit code " << exitCode;
}

struct TryWaitArgs {
    CKYMutex* mutex;
    bool acquired;
};

DWORD WINAPI TryWait(LPVOID param) {
    TryWaitArgs* args = static_cast<TryWaitArgs*>(param);
    args->acquired = args->mutex->Wait(0);
    return 0;
}

struct RawWaitArgs {
    HANDLE handle;
    DWORD result;
};

DWORD WINAPI RawWait(LPVOID param) {
    RawWaitArgs* args = static_cast<RawWaitArgs*>(param);
    args->result = WaitForSingleObject(args->handle, 0);
    if (args->result == WAIT_OBJECT_0 || args->result == WAIT_ABANDONED) {
        ReleaseMutex(args->handle);
    }
    return 0;
}

TEST(MutexExists, IsFalseForUnknownNameAndCreatesNothing) {
    std::wstring name = UniqueName(L"unknown");
    EXPECT_FALSE(CKYMutex::Exists(name.c_str()));

    // Had Exists created the mutex, this would open it rather than create it.
    Handle created(CreateMutexW(nullptr, FALSE, name.c_str()));
    DWORD error = GetLastError();
    ASSERT_NE(created.Get(), nullptr);
    EXPECT_NE(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

TEST(MutexExists, FollowsTheLifetimeOfTheOnlyOwner) {
    std::wstring name = UniqueName(L"lifetime");
    EXPECT_FALSE(CKYMutex::Exists(name.c_str()));
    {
        CKYMutex mutex(name.c_str());
        EXPECT_TRUE(CKYMutex::Exists(name.c_str()));
    }
    EXPECT_FALSE(CKYMutex::Exists(name.c_str()));
}

TEST(MutexExists, IsFalseForNullNameAndForAnEventOfThatName) {
    EXPECT_FALSE(CKYMutex::Exists(nullptr));
    std::wstring name = UniqueName(L"event-not-mutex");
    CKYEvent event(name.c_str(), true, false);
    EXPECT_FALSE(CKYMutex::Exists(name.c_str()));
}

TEST(MutexAcrossProcesses, SecondProcessSeesItWhileItLives) {
    std::wstring name = UniqueName(L"seen");
    {
        CKYMutex mutex(name.c_str());
        EXPECT_EQ(RunProbe(L"exists " + name), kProbeSaysYes);
    }
    EXPECT_EQ(RunProbe(L"exists " + name), kProbeSaysNo);
}

TEST(MutexAcrossProcesses, HeldBySecondProcessIsNotAcquiredUntilReleased) {
    std::wstring name = UniqueName(L"held");
    std::wstring readyName = UniqueName(L"ready");
    std::wstring releaseName = UniqueName(L"release");
    CKYEvent ready(readyName.c_str(), true, false);
    CKYEvent release(releaseName.c_str(), true, false);
    Handle probe(StartProbe(L"hold " + name + L" " + readyName + L" " + releaseName));
    ASSERT_NE(probe.Get(), nullptr);
    ASSERT_TRUE(WaitForProbe(ready, probe.Get()));

    // Constructing by an existing name opens the helper's mutex instead of making a new one.
    CKYMutex mutex(name.c_str());
    EXPECT_TRUE(CKYMutex::Exists(name.c_str()));
    EXPECT_FALSE(mutex.Wait(0));

    ASSERT_TRUE(release.Signal());
    EXPECT_TRUE(mutex.Wait(INFINITE));
    WaitForSingleObject(probe.Get(), INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(probe.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(mutex.Signal());
}

TEST(MutexAcrossProcesses, AbandonedMutexWaitReportsFalseButTakesOwnership) {
    std::wstring name = UniqueName(L"abandoned");
    std::wstring readyName = UniqueName(L"ready");
    CKYEvent ready(readyName.c_str(), true, false);
    CKYMutex mutex(name.c_str());
    Handle probe(StartProbe(L"abandon " + name + L" " + readyName));
    ASSERT_NE(probe.Get(), nullptr);
    ASSERT_TRUE(WaitForProbe(ready, probe.Get()));
    WaitForSingleObject(probe.Get(), INFINITE);

    EXPECT_FALSE(mutex.Wait(INFINITE));
    // The abandoned wait made this thread the owner, so it can release it once.
    EXPECT_TRUE(mutex.Signal());
    EXPECT_FALSE(mutex.Signal());
}

TEST(MutexOwnership, WaitAcquiresRecursivelyAndSignalReleasesOnlyWhatIsOwned) {
    CKYMutex mutex(UniqueName(L"owned").c_str());
    EXPECT_FALSE(mutex.Signal());
    EXPECT_TRUE(mutex.Wait(0));
    EXPECT_TRUE(mutex.Wait(0));
    EXPECT_TRUE(mutex.Signal());
    EXPECT_TRUE(mutex.Signal());
    EXPECT_FALSE(mutex.Signal());
}

TEST(MutexOwnership, OwnedByAnotherThreadIsNotAcquired) {
    CKYMutex mutex;
    ASSERT_TRUE(mutex.Wait(0));
    TryWaitArgs args = {&mutex, true};
    HANDLE thread = CreateThread(nullptr, 0, &TryWait, &args, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_FALSE(args.acquired);
}

TEST(MutexLifetime, DestructorReleasesAnOwnedMutexSoItIsNotAbandoned) {
    std::wstring name = UniqueName(L"released");
    Handle other(nullptr);
    {
        CKYMutex mutex(name.c_str());
        other.Reset(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
        ASSERT_NE(other.Get(), nullptr);
        ASSERT_TRUE(mutex.Wait(0));
    }
    // Owned by this thread, a wait would succeed recursively even if the destructor had not
    // released it; a second thread tells the two apart.
    RawWaitArgs args = {other.Get(), WAIT_FAILED};
    HANDLE thread = CreateThread(nullptr, 0, &RawWait, &args, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(args.result, static_cast<DWORD>(WAIT_OBJECT_0));
}

// The two kinds of named object the library makes, for the checks they share.
struct SyncKind {
    const char* label;
    std::function<std::unique_ptr<CKYSyncObject>(const wchar_t*)> make;
    std::function<HANDLE(CKYSyncObject&)> handle;
    // A raw object of the other kind, to make the name collide.
    std::function<HANDLE(const wchar_t*)> makeOtherKind;
};

std::vector<SyncKind> SyncKinds() {
    return {
        {"Mutex",
         [](const wchar_t* name) { return std::unique_ptr<CKYSyncObject>(new CKYMutex(name)); },
         [](CKYSyncObject& object) { return static_cast<CKYMutex&>(object).GetHandle(); },
         [](const wchar_t* name) { return CreateEventW(nullptr, TRUE, FALSE, name); }},
        {"Event",
         [](const wchar_t* name) {
             return std::unique_ptr<CKYSyncObject>(new CKYEvent(name, true, false));
         },
         [](CKYSyncObject& object) { return static_cast<CKYEvent&>(object).GetHandle(); },
         [](const wchar_t* name) { return CreateMutexW(nullptr, FALSE, name); }},
    };
}

class CreationRecord : public ::testing::TestWithParam<SyncKind> {};

TEST_P(CreationRecord, ObjectHasNullDacl) {
    std::wstring name = UniqueName(L"dacl");
    std::unique_ptr<CKYSyncObject> object = GetParam().make(name.c_str());
    HANDLE handle = GetParam().handle(*object);

    DWORD needed = 0;
    GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    ASSERT_GT(needed, 0u);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(
        GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, buffer.data(), needed, &needed))
        << GetLastError();
    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL dacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(GetSecurityDescriptorDacl(buffer.data(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(dacl, nullptr);
    EXPECT_FALSE(defaulted);
}

TEST_P(CreationRecord, HandleIsInheritable) {
    std::unique_ptr<CKYSyncObject> object = GetParam().make(UniqueName(L"inherit").c_str());
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(GetParam().handle(*object), &flags));
    EXPECT_NE(flags & HANDLE_FLAG_INHERIT, 0u);
}

TEST_P(CreationRecord, StartedProcessInheritsTheHandle) {
    // Unnamed: the helper can only reach the object through the inherited handle value.
    std::unique_ptr<CKYSyncObject> object = GetParam().make(nullptr);
    HANDLE handle = GetParam().handle(*object);
    std::wstring arguments = L"inherited " + std::to_wstring(reinterpret_cast<UINT_PTR>(handle));
    EXPECT_EQ(RunProbe(arguments, true), kProbeSaysYes);
}

TEST_P(CreationRecord, NameTakenByTheOtherKindThrowsInvalidHandle) {
    std::wstring name = UniqueName(L"collide");
    Handle other(GetParam().makeOtherKind(name.c_str()));
    ASSERT_NE(other.Get(), nullptr);
    try {
        GetParam().make(name.c_str());
        FAIL() << "no exception";
    } catch (unsigned long error) {
        EXPECT_EQ(error, static_cast<unsigned long>(ERROR_INVALID_HANDLE));
    }
}

TEST_P(CreationRecord, NameInUnknownNamespaceThrowsTheSystemError) {
    std::wstring name = L"NoSuchNamespace\\" + UniqueName(L"ns");
    try {
        GetParam().make(name.c_str());
        FAIL() << "no exception";
    } catch (unsigned long error) {
        EXPECT_EQ(error, static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, CreationRecord, ::testing::ValuesIn(SyncKinds()),
                         [](const ::testing::TestParamInfo<SyncKind>& info) {
                             return info.param.label;
                         });

struct EventCase {
    const char* label;
    bool manualReset;
    bool initialState;
    bool firstWait;
    bool secondWait;
};

class EventStates : public ::testing::TestWithParam<EventCase> {};

TEST_P(EventStates, InitialStateAndResetRuleHold) {
    const EventCase& c = GetParam();
    CKYEvent event(UniqueName(L"state").c_str(), c.manualReset, c.initialState);
    EXPECT_EQ(event.Wait(0), c.firstWait);
    EXPECT_EQ(event.Wait(0), c.secondWait);
    ASSERT_TRUE(event.Signal());
    EXPECT_TRUE(event.Wait(0));
    EXPECT_EQ(event.Wait(0), c.manualReset);
}

const EventCase kEventCases[] = {
    {"AutoResetUnsignalled", false, false, false, false},
    {"AutoResetSignalled", false, true, true, false},
    {"ManualResetUnsignalled", true, false, false, false},
    {"ManualResetSignalled", true, true, true, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, EventStates, ::testing::ValuesIn(kEventCases),
                         [](const ::testing::TestParamInfo<EventCase>& info) {
                             return info.param.label;
                         });

TEST(EventSharing, SameNameOpensTheSameEvent) {
    std::wstring name = UniqueName(L"shared");
    CKYEvent first(name.c_str(), true, false);
    CKYEvent second(name.c_str(), false, true);  // flags of an existing event do not apply
    EXPECT_FALSE(second.Wait(0));
    ASSERT_TRUE(first.Signal());
    EXPECT_TRUE(second.Wait(0));
    EXPECT_TRUE(second.Wait(0));
}

TEST(EventSharing, SecondProcessCanSetIt) {
    std::wstring name = UniqueName(L"remote-set");
    CKYEvent event(name.c_str(), true, false);
    EXPECT_EQ(RunProbe(L"signal " + name), kProbeSaysYes);
    EXPECT_TRUE(event.Wait(0));
}

TEST(EventLifetime, DestructorDoesNotSignal) {
    std::wstring name = UniqueName(L"quiet");
    Handle other(nullptr);
    {
        CKYEvent event(name.c_str(), true, false);
        other.Reset(OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
        ASSERT_NE(other.Get(), nullptr);
    }
    EXPECT_EQ(WaitForSingleObject(other.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
