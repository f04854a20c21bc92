// kmbdiag-sim at a real terminal, as a test engineer meets it at a desk: the operator's keys,
// Ctrl-C and Ctrl-D at every kind of prompt and while a test loops. No key ends the simulator
// by a signal or leaves it hanging: Ctrl-C ends a loop after its pass, Ctrl-D is the end of
// input (the program leaves as Exit does, and a loop running then ends after its pass). The
// bytes the terminal shows are the program's own, which its piped transcripts pin.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "operator_texts.h"
#include "support/sim_card.h"
#include "support/run_sim.h"
#include "support/terminal_sim.h"

namespace kmb::test {
namespace {

constexpr char kCtrlC[] = "\x03";
constexpr char kCtrlD[] = "\x04";
// Wall seconds a screen may take to show up (generous for the sanitizer and the emulator).
constexpr double kPatience = 60;

const std::string kKmbPrompt = "Select test or feature by number [";
const std::string kResetPrompt = "DO you want to run the test (y/n) : ";
const std::string kRegisterPrompt = "please type the register #(hex):  ";

// One operator's turn: wait until `prompt` shows (after everything shown before the last keys),
// then type `keys`.
struct Turn {
    std::string prompt;
    std::string keys;
};

class Desk {
public:
    explicit Desk(std::vector<std::string> extra = {})
        : sim_(std::make_unique<TerminalSim>(card_args(state_.path().string(), std::move(extra))))
    {
    }
    TerminalSim& sim() { return *sim_; }

    // Plays the turns; false (with the reason recorded) when a prompt did not come.
    ::testing::AssertionResult play(const std::vector<Turn>& turns)
    {
        for (const Turn& t : turns) {
            if (!sim_->wait_for(t.prompt, kPatience, mark_)) {
                return ::testing::AssertionFailure() << "no '" << t.prompt << "' after " << mark_ << " bytes; the screen ends: "
                                                     << tail();
            }
            mark_ = sim_->screen().find(t.prompt, mark_) + t.prompt.size();
            sim_->type(t.keys);
        }
        return ::testing::AssertionSuccess();
    }

    // The simulator ended by itself, as the program does at Exit or at the end of input.
    ::testing::AssertionResult ends_normally()
    {
        if (!sim_->wait_for_exit(kPatience)) {
            return ::testing::AssertionFailure() << "still running; the screen ends: " << tail();
        }
        if (sim_->exit_status() != 1) {
            return ::testing::AssertionFailure() << "ended with status " << sim_->exit_status() << ", signal "
                                                 << sim_->signal() << "; the screen ends: " << tail();
        }
        if (sim_->screen().find("kmbdiag-sim:") != std::string::npos) {
            return ::testing::AssertionFailure() << "the simulator complained: " << tail();
        }
        return ::testing::AssertionSuccess();
    }

    std::string tail() const
    {
        const std::string& s = sim_->screen();
        return s.size() > 400 ? s.substr(s.size() - 400) : s;
    }
    size_t mark() const { return mark_; }

private:
    TempDir state_;
    std::unique_ptr<TerminalSim> sim_;
    size_t mark_ = 0;
};

// The ways to each kind of prompt: the top menu, the test menu, a reset test's question, the
// PHY editor's register and the ESS's loop count (Manufacturing's).
struct Prompt {
    const char* what;
    std::vector<Turn> reach;
    std::string prompt;
};

std::vector<Prompt> prompts()
{
    return {
        {"the top menu", {}, kTopPrompt},
        {"the test menu", {{kTopPrompt, "kmb\n"}}, kKmbPrompt},
        {"a reset test's question", {{kTopPrompt, "kmb\n"}, {kKmbPrompt, "13\n"}}, kResetPrompt},
        {"the PHY editor's register", {{kTopPrompt, "kmb\n"}, {kKmbPrompt, "11\n"}}, kRegisterPrompt},
        {"the ESS's loop count", {{kTopPrompt, "jtk yes\n"}, {kTopPrompt, "ess\n"}}, kEssCountPrompt},
    };
}

// Ctrl-C at a prompt is no answer: the program carries on at the same prompt, where Ctrl-D
// then ends it as Exit does.
TEST(Terminal, AtEveryPromptCtrlCIsNoAnswerAndCtrlDEndsTheProgram)
{
    for (const Prompt& p : prompts()) {
        SCOPED_TRACE(p.what);
        Desk desk;
        ASSERT_TRUE(desk.sim().started());
        std::vector<Turn> turns = p.reach;
        // The terminal drops the half-typed line at a Ctrl-C; the prompt still waits, and
        // the end of input then ends the program.
        turns.push_back({p.prompt, std::string("zz") + kCtrlC});
        ASSERT_TRUE(desk.play(turns));
        desk.sim().type(kCtrlD);
        EXPECT_TRUE(desk.ends_normally());
        EXPECT_FALSE(desk.sim().wait_for("zz", 0, desk.mark() + 2)) << "the dropped keys reached the program";
    }
}

// A test looped with 91, then a key while it loops: Ctrl-C ends the loop after its pass and
// the test menu comes back; Ctrl-D does too, and the menu then meets the end of input.
TEST(Terminal, CtrlCAndCtrlDWhileATestLoops)
{
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string select;
        std::string pass; // shown once per pass
    };
    const Case cases[] = {
        {"a healthy counter agent test", {}, "3\n", kCounterAgentPassed},
        {"a failing counter agent test that keeps going", {"--fault", "i2c-bus-absent"}, "3\n", kCounterAgentLabel},
        {"the serial test with its spinner", {}, "2\n", kSerialLabel},
    };
    for (const Case& c : cases) {
        for (const char* key : {kCtrlC, kCtrlD}) {
            // The crash came in most tries, not all: each pair several times.
            for (int attempt = 0; attempt < 3; ++attempt) {
                SCOPED_TRACE(std::string(c.what) + (key == kCtrlC ? ", Ctrl-C, try " : ", Ctrl-D, try ") +
                             std::to_string(attempt));
                Desk desk(c.args);
                ASSERT_TRUE(desk.sim().started());
                std::vector<Turn> turns = {{kTopPrompt, "stop no\n"}, {kTopPrompt, "kmb\n"}, {kKmbPrompt, "91\n"},
                                           {kKmbPrompt, c.select}, {c.pass, ""}, {c.pass, key}};
                ASSERT_TRUE(desk.play(turns));
                if (key == kCtrlC) {
                    // The loop ends and the menu asks again; then the operator leaves.
                    ASSERT_TRUE(desk.play({{kKmbPrompt, "99\n"}, {kTopPrompt, "exit\n"}}));
                } else {
                    EXPECT_TRUE(desk.sim().wait_for(kKmbPrompt, kPatience, desk.mark()));
                }
                EXPECT_TRUE(desk.ends_normally());
            }
        }
    }
}

} // namespace
} // namespace kmb::test
