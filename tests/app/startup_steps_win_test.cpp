// The start-up's self-version step, which the window and the switch lines
// both take: what each front-end is told, with and without the SelfUpdate
// policy, against the test server.
#include "app/session/session_win.h"
#include "app/startup/startup_steps_win.h"
#include "catalogue/model/install_detection.h"
#include "win/text_win.h"

#include <gtest/gtest.h>

#include "tests/support/fake_server_win.h"
#include "tests/support/test_root_win.h"
#include "tests/support/test_server_win.h"

namespace pelmora {
namespace {

// Records what the step tells a front-end; asks nothing.
class RecordingFrontEnd final : public StartupFrontEnd {
  public:
    Prompt& Prompts() override { return prompt; }
    bool AskProxyCredentials(const std::wstring&) override { return false; }
    void SelfVersionNotFetched(HRESULT fetched) override { notFetched.push_back(fetched); }
    StartupStep OnSelfVersion(SelfVersionState state, const std::wstring& offered) override {
        told.emplace_back(state, offered);
        return StartupStep::Continue;
    }

    testsupport::RecordingPrompt prompt;
    std::vector<HRESULT> notFetched;
    std::vector<std::pair<SelfVersionState, std::wstring>> told;
};

class SelfVersionStep : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Connect()) << "the test server fixture is not running";
        server_.Reset("/steps/");
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, win::ToWide(SelfUninstallKeyName()).c_str(),
                                    0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key,
                                    nullptr),
                  ERROR_SUCCESS);
        const std::wstring version = L"1.3.2";
        ::RegSetValueExW(key, L"DisplayVersion", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(version.c_str()),
                         static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }
    void TearDown() override {
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, win::ToWide(SelfUninstallKeyName()).c_str(),
                          KEY_WOW64_64KEY, 0);
    }
    StartupStep Run(const MachinePolicy& policy) {
        Session session(server_.Url(L"/steps/tools/"), std::nullopt, policy, root_.Root());
        return StartupSteps(session, frontEnd_).SelfVersion();
    }

    testsupport::TestRoot root_{L"pelmora-steps-test"};
    testsupport::TestServer server_;
    RecordingFrontEnd frontEnd_;
};

TEST_F(SelfVersionStep, TheFrontEndLearnsWhereThisPelmoraStands) {
    using State = SelfVersionState;
    MachinePolicy held;
    held.selfUpdate = false;
    struct Case {
        const char* file;
        MachinePolicy policy;
        State state;
        const wchar_t* offered;
    };
    for (const Case& c : {Case{"v1.3.2v", {}, State::Current, L"1.3.2"},
                          Case{"v1.3.3v", {}, State::Offered, L"1.3.3"},
                          Case{"v1.3.3v", held, State::HeldByPolicy, L"1.3.3"},
                          Case{"no version here", {}, State::Current, L""}}) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(server_.PutFile("/steps/tools/Pelmora.txt", c.file));
        frontEnd_.told.clear();
        EXPECT_EQ(Run(c.policy), StartupStep::Continue);
        ASSERT_EQ(frontEnd_.told.size(), 1u);
        EXPECT_EQ(frontEnd_.told[0].first, c.state);
        EXPECT_EQ(frontEnd_.told[0].second, c.offered);
    }
    // Held by the policy, nothing of Pelmora's own installer is asked for.
    EXPECT_EQ(server_.Log("/steps/tools/Pelmora/"), "");
}

TEST_F(SelfVersionStep, AMissingFileEndsTheStartUp) {
    ASSERT_TRUE(server_.SetRule("/steps/tools/Pelmora.txt", "status=404"));
    EXPECT_EQ(Run({}), StartupStep::Close);
    EXPECT_EQ(frontEnd_.notFetched.size(), 1u);
    EXPECT_TRUE(frontEnd_.told.empty());
}

}  // namespace
}  // namespace pelmora
