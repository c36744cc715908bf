#include "FrameHookModules.h"

#include "AvPtr.h"
#include "TFFLogger.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <dlfcn.h>

namespace quovo {
namespace {

const std::string kHook = QUOVO_TEST_HOOK;
const std::string kHookNoConfigure = QUOVO_TEST_HOOK_NOCONFIGURE;
const std::string kHookNoProcess = QUOVO_TEST_HOOK_NOPROCESS;

// What a test module was given, read from its exported variables.
class ModuleState {
public:
    explicit ModuleState(const std::string& path)
        : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {}
    ~ModuleState() {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
    }
    bool Loaded() const { return handle_ != nullptr; }
    template <typename T> T& Var(const char* name) const {
        return *static_cast<T*>(dlsym(handle_, name));
    }
    int& ConfigureCalls() const { return Var<int>("TestHookConfigureCalls"); }
    int& ReleaseCalls() const { return Var<int>("TestHookReleaseCalls"); }
    std::string LastArgs() const { return &Var<char>("TestHookLastArgs"); }

private:
    void* handle_;
};

class FrameHookTest : public ::testing::Test {
protected:
    void SetUp() override {
        FFLogger()->SetTriggerEventInMainThread(true);
        FFLogger()->SetLogLevel(llInfo);
        FFLogger()->SetOnLog(
            [this](TFFBaseComponent* sender, uint32_t, TLogLevel level, const std::string& msg) {
                std::lock_guard lock(mutex_);
                errors_.push_back({sender, level, msg});
            });
    }
    void TearDown() override { FFLogger()->SetOnLog(nullptr); }

    struct Message {
        TFFBaseComponent* sender;
        TLogLevel level;
        std::string text;
    };
    std::vector<Message> Messages() {
        std::lock_guard lock(mutex_);
        return errors_;
    }

    std::mutex mutex_;
    std::vector<Message> errors_;
};

AvFramePtr GrayPicture(int width, int height, uint8_t value) {
    AvFramePtr frame = MakeFrame();
    frame->format = AV_PIX_FMT_GRAY8;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        return nullptr;
    }
    for (int y = 0; y < height; ++y) {
        memset(frame->data[0] + y * frame->linesize[0], value, width);
    }
    return frame;
}

TEST_F(FrameHookTest, ModulesProcessPicturesInOrderAndAreReleased) {
    int releasedBefore = 0;
    {
        TFrameHookList hooks;
        EXPECT_TRUE(hooks.Empty());
        ASSERT_EQ(hooks.Add(kHook + " add 5"), 0);
        ModuleState module(kHook);
        ASSERT_TRUE(module.Loaded());
        EXPECT_EQ(module.LastArgs(), kHook + "\nadd\n5");
        // With "|" the words are split there, so they may contain spaces.
        ASSERT_EQ(hooks.Add(kHook + "|mul|2 and more"), 0);
        EXPECT_EQ(module.LastArgs(), kHook + "\nmul\n2 and more");
        EXPECT_FALSE(hooks.Empty());
        releasedBefore = module.ReleaseCalls();

        AvFramePtr picture = GrayPicture(6, 4, 10);
        ASSERT_NE(picture, nullptr);
        // Padding beyond the width stays untouched.
        picture->data[0][picture->linesize[0] - 1] = 77;
        hooks.Process(picture.get(), AV_PIX_FMT_GRAY8, 6, 4, 123456789);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x) {
                // (10 + 5) * 2: first module first; the other order would give 25.
                ASSERT_EQ(picture->data[0][y * picture->linesize[0] + x], 30) << x << "," << y;
            }
        }
        EXPECT_EQ(picture->data[0][picture->linesize[0] - 1], 77);
        EXPECT_EQ(module.Var<int>("TestHookLastPixFmt"), AV_PIX_FMT_GRAY8);
        EXPECT_EQ(module.Var<int>("TestHookLastWidth"), 6);
        EXPECT_EQ(module.Var<int>("TestHookLastHeight"), 4);
        EXPECT_EQ(module.Var<int64_t>("TestHookLastPts"), 123456789);
    }
    ModuleState module(kHook);
    EXPECT_EQ(module.ReleaseCalls(), releasedBefore + 2);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(FrameHookTest, FailuresGiveTheirResultAndMessage) {
    const std::string missing = "/nonexistent/libquovo_missing_hook.so";
    std::string manyWords = kHook;
    for (int i = 1; i < 65; ++i) {
        manyWords += " w" + std::to_string(i); // 65 words in all
    }
    // clang-format off
    const struct {
        std::string args;
        int result;
        std::string message; // empty: only checked to mention the module
    } cases[] = {
        {missing + " x", -1, ""},
        {kHookNoProcess, -2, "Failed to find Process entrypoint in " + kHookNoProcess},
        {kHookNoConfigure + " add 1", -2, "Failed to find Configure entrypoint in " + kHookNoConfigure},
        {kHook + " fail", -22, "Failed to Configure " + kHook},
        {manyWords, -22, ""},
        {"   ", -22, ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        const size_t before = Messages().size();
        TFrameHookList hooks;
        EXPECT_EQ(hooks.Add(c.args), c.result) << c.args;
        EXPECT_TRUE(hooks.Empty()) << c.args;
        const std::vector<Message> messages = Messages();
        ASSERT_EQ(messages.size(), before + 1) << c.args;
        EXPECT_EQ(messages.back().level, llError);
        EXPECT_EQ(messages.back().sender, nullptr);
        if (!c.message.empty()) {
            EXPECT_EQ(messages.back().text, c.message);
        }
    }
    // The loader's own text names the missing module.
    EXPECT_NE(Messages()[0].text.find(missing), std::string::npos) << Messages()[0].text;
}

TEST_F(FrameHookTest, WordLimitAndOptionalConfigure) {
    std::string words64 = kHook;
    for (int i = 1; i < 64; ++i) {
        words64 += " w" + std::to_string(i);
    }
    TFrameHookList hooks;
    ASSERT_EQ(hooks.Add(words64), 0); // 64 words are still allowed
    ModuleState module(kHook);
    const int calls = module.ConfigureCalls();
    EXPECT_EQ(hooks.Add(words64 + " w64"), -22);
    EXPECT_EQ(module.ConfigureCalls(), calls) << "Configure was called with 65 words";

    // A single word needs no Configure; Process then gets no context.
    ASSERT_EQ(hooks.Add(kHookNoConfigure), 0);
    AvFramePtr picture = GrayPicture(3, 2, 9);
    hooks.Process(picture.get(), AV_PIX_FMT_GRAY8, 3, 2, 42);
    ModuleState noConfigure(kHookNoConfigure);
    EXPECT_EQ(noConfigure.Var<int>("TestHookLastWidth"), 3);
    EXPECT_EQ(noConfigure.Var<int64_t>("TestHookLastPts"), 42);
    EXPECT_EQ(picture->data[0][0], 9);
}

} // namespace
} // namespace quovo
