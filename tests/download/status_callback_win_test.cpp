#include "download/transfer/status_callback_win.h"

#include "tests/download/recording_target.h"
#include "win/handles_win.h"

#include <gtest/gtest.h>

#include <objidl.h>

namespace pelmora {
namespace {

win::Handle NewEvent() { return win::Handle(::CreateEventW(nullptr, FALSE, FALSE, nullptr)); }

bool Signalled(const win::Handle& event) {
    return ::WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0;
}

class DestructionProbe : public StatusCallBack {
public:
    DestructionProbe(HANDLE event, bool* destroyed) : StatusCallBack(event), destroyed_(destroyed) {}
    ~DestructionProbe() override { *destroyed_ = true; }

private:
    bool* destroyed_;
};

TEST(StatusCallBack, AnswersOnlyForItsTwoInterfaces) {
    const win::Handle event = NewEvent();
    bool destroyed = false;
    auto* callback = new DestructionProbe(event.get(), &destroyed);

    for (const IID* iid : {&IID_IUnknown, &IID_IBindStatusCallback}) {
        void* object = nullptr;
        EXPECT_EQ(callback->QueryInterface(*iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<IBindStatusCallback*>(callback));
    }
    for (const IID* iid : {&IID_IStream, &IID_IBinding, &IID_IClassFactory}) {
        void* object = callback;  // must be cleared
        EXPECT_EQ(callback->QueryInterface(*iid, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    // Two successful queries added two references to the first one.
    EXPECT_EQ(callback->Release(), 2u);
    EXPECT_EQ(callback->Release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(callback->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(StatusCallBack, SignalsEveryNotificationAndNeverCancels) {
    const win::Handle event = NewEvent();
    StatusCallBack callback(event.get());
    for (ULONG progress : {0ul, 10ul, 10ul, 0ul}) {
        EXPECT_EQ(callback.OnProgress(progress, 0, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
        EXPECT_TRUE(Signalled(event));
        EXPECT_FALSE(Signalled(event));  // auto-reset: one signal per notification
    }
}

TEST(StatusProgressCallBack, ShowsEachNewPercentOnceInItsRow) {
    const win::Handle event = NewEvent();
    RecordingTarget target;
    StatusProgressCallBack callback(event.get(), &target, 7);
    const ULONG total = 300;
    for (ULONG progress : {0ul, 1ul, 2ul, 3ul, 4ul, 5ul, 299ul, 300ul, 300ul, 450ul}) {
        EXPECT_EQ(callback.OnProgress(progress, total, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
        EXPECT_TRUE(Signalled(event)) << progress;
    }
    const std::vector<std::pair<int, int>> expected = {{7, 1}, {7, 99}, {7, 100}, {7, 150}};
    EXPECT_EQ(target.Shown(), expected);
}

TEST(StatusProgressCallBack, UnknownTotalShowsNothingButKeepsTheTimeOutAlive) {
    const win::Handle event = NewEvent();
    RecordingTarget target;
    StatusProgressCallBack callback(event.get(), &target, 2);
    for (ULONG progress : {0ul, 65536ul, 131072ul, 4000000000ul}) {
        EXPECT_EQ(callback.OnProgress(progress, 0, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
        EXPECT_TRUE(Signalled(event));
    }
    EXPECT_TRUE(target.Shown().empty());
}

TEST(StatusProgressCallBack, AnswersAbortOnceInstallIsNoLongerActive) {
    const win::Handle event = NewEvent();
    RecordingTarget target;
    StatusProgressCallBack callback(event.get(), &target, 0);
    EXPECT_EQ(callback.OnProgress(10, 100, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
    target.SetActive(false);
    // The notification still shows its percent and restarts the time-out.
    EXPECT_EQ(callback.OnProgress(20, 100, BINDSTATUS_DOWNLOADINGDATA, nullptr), E_ABORT);
    EXPECT_TRUE(Signalled(event));
    EXPECT_EQ(target.Percents(), (std::vector<int>{10, 20}));
}

}  // namespace
}  // namespace pelmora
