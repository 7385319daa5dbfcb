// Every file-changing call of every take decision and of 'undo', killed or
// failed in turn, and the next start judged: every file all-before or
// all-after as one decision, no recorded sample in no file, and what the
// program said true to the files. The rehearsal counts the calls with the
// fault injector's 'log' action; call N is then killed (and the next start
// failed at each of its own calls in turn), or failed with EIO and ENOSPC.
//
// VARNOW_SWEEP_WIDE=1 (scripts/crash-sweep.sh) sweeps two inputs, the undo
// of every decision, and fails and kills every call of every recovery; the
// test command sweeps one input and fails each recovery's calls only after
// the kill points where there is something to recover.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

constexpr std::size_t kTake = 4096;
constexpr std::int32_t kBaseOne = 1000000;
constexpr std::int32_t kBaseTwo = 2000000;
const std::string kOld = wavFile(staircase(9000, -100, -1));
const std::string kCalls =
    "create,write,pwrite,fwrite,fflush,fsync,fdatasync,ftruncate,rename,unlink,mkdir,"
    "copy_file_range";

bool wide() {
  const char* wanted = std::getenv("VARNOW_SWEEP_WIDE");
  return wanted != nullptr && std::string(wanted) == "1";
}

// The files of the project as the user sees them (the undo store and the
// list files left out), with the time stamps in take and backup names
// written as '#': runs of one sweep record at different times.
using Snapshot = std::map<std::string, std::string>;

struct SweepProject : ProjectFixture {
  // The runs of `setup`, when given, come first (the decisions an undo or a
  // redo works on).
  SweepProject(std::size_t punchFrame, int inputs, const std::vector<std::string>& setup = {})
      : ProjectFixture("int\t0\nclock\thc\nmeter\t0\ne\t" + std::to_string(punchFrame) + "\no\t" +
                           std::to_string(punchFrame + kTake) + "\n",
                       "", inputs == 2 ? "vox.wav\nbass.wav\n" : "vox.wav\n-\n") {
    writeCapture(rampCapture(20000, {kBaseOne, kBaseTwo}));
    writeFile("vox.wav", kOld);
    for (const std::string& input : setup)
      console(input);
  }
  std::string rule(const std::string& when, const std::string& action) const {
    return kCalls + ":" + dir().string() + "/*:" + when + ":" + action;
  }
  Snapshot snapshot() const {
    static const std::regex stamp("(audio_ch_[0-9]+_|_bkup_)[0-9]+");
    Snapshot files;
    for (const std::string& name : this->files()) {
      if (name == "param.txt" || name == "play.txt" || name == "record.txt") continue;
      files[std::regex_replace(name, stamp, "$1#")] = readFile(name);
    }
    return files;
  }
  // Runs `input` with every file-changing call logged; the lines logged.
  std::vector<std::string> rehearse(const std::string& input) {
    injectFaults(rule("1+", "log"));
    last = run(input);
    injectFaults("");
    return firedFaultLines();
  }
  RunResult runWith(const std::string& input, const std::string& rules) {
    injectFaults(rules);
    RunResult result = run(input);
    injectFaults("");
    return result;
  }
  RunResult last;
};

// Where the calls of the decision start: the first that touches its store.
std::size_t decisionStart(const std::vector<std::string>& calls) {
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].find("/.varnow-undo") != std::string::npos) return i;
  }
  return calls.size();
}

std::string describe(const Snapshot& files) {
  std::string names;
  for (const auto& [name, bytes] : files)
    names += name + " (" + std::to_string(bytes.size()) + " bytes) ";
  return names;
}

// What a sweep compares each outcome with.
struct Sweep {
  std::string decision;  // the take menu's input after 'R'
  std::size_t punch = 1024;
  int inputs = 1;
  bool undo = false;  // the session swept is 'undo' of the decision
  // A session of the history instead ('undo', 'redo x'), after these runs;
  // `before` is the project they leave, `after` what the session makes of it.
  std::vector<std::string> setup;
  std::string historySession;
  Snapshot before, after;
  int runs = 0;

  bool ofHistory() const { return !historySession.empty(); }
  // A project as the swept session finds it.
  SweepProject project() const {
    if (ofHistory()) return SweepProject(punch, inputs, setup);
    return SweepProject(
        punch, inputs,
        undo ? std::vector<std::string>{"R " + decision + " x"} : std::vector<std::string>{});
  }
  std::string session() const {
    if (ofHistory()) return historySession;
    return undo ? "undo" : "R " + decision + " x";
  }

  // The states before and after the decision, from clean runs.
  void learn() {
    if (ofHistory()) {
      before = project().snapshot();
      SweepProject done = project();
      done.console(historySession);
      after = done.snapshot();
      ASSERT_FALSE(before == after);
      return;
    }
    SweepProject recorded(punch, inputs);
    recorded.run("R");
    before = recorded.snapshot();
    SweepProject decided(punch, inputs);
    decided.console("R " + decision + " x");
    after = decided.snapshot();
    ASSERT_FALSE(before == after);
  }

  // The sentences of a start that settles a decision, and what they say.
  ::testing::AssertionResult trueToTheFiles(const std::string& shown, const Snapshot& now) const {
    for (const char* never : {"left alone", "not the file", "taking it back failed",
                              "completing it failed", "was not used", "damaged"}) {
      if (shown.find(never) != std::string::npos) {
        return ::testing::AssertionFailure() << "said \"" << never << "\":\n" << shown;
      }
    }
    if (shown.find("it was taken back.") != std::string::npos && now != before) {
      return ::testing::AssertionFailure() << "said taken back, but " << describe(now);
    }
    return ::testing::AssertionSuccess();
  }

  ::testing::AssertionResult beforeOrAfter(const Snapshot& now) const {
    if (now == before || now == after) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "neither before nor after: " << describe(now) << "\nbefore: " << describe(before)
           << "\nafter: " << describe(after);
  }

  // 'undo' after a start: a decision on record gives the before-state back.
  // A session of the history that a crash cut short and the start settled
  // all-before goes on as if it had not been tried; one that failed is as
  // far as it went (a redo that failed is a decision of its own).
  void undoes(SweepProject& p, bool crashed = true) {
    if (ofHistory()) {
      if (p.snapshot() == after) return;
      const std::string shown = p.run(historySession).out;
      ++runs;
      if (crashed) {
        EXPECT_TRUE(p.snapshot() == after) << describe(p.snapshot()) << "\n" << shown;
      } else {
        EXPECT_TRUE(beforeOrAfter(p.snapshot())) << shown;
      }
      return;
    }
    const std::string shown = p.run("undo").out;
    ++runs;
    if (shown.find("There is no take decision to undo.") == std::string::npos) {
      EXPECT_FALSE(has(shown, "Could not undo").operator bool()) << shown;
    }
    EXPECT_TRUE(p.snapshot() == before) << describe(p.snapshot()) << "\n" << shown;
  }

  // Kill at N, restart, then 'undo'; kill at N and fail each call of the
  // restart's recovery in turn.
  void killAt(std::size_t n, bool failRecovery) {
    SCOPED_TRACE("kill at " + std::to_string(n));
    {
      SweepProject p = project();
      p.runWith(session(), p.rule(std::to_string(n), "kill"));
      const std::string shown = p.run("x").out;
      runs += 2;
      const Snapshot now = p.snapshot();
      EXPECT_TRUE(beforeOrAfter(now)) << shown;
      EXPECT_TRUE(trueToTheFiles(shown, now));
      undoes(p);
    }
    if (!failRecovery) return;
    SweepProject rehearsal = project();
    rehearsal.runWith(session(), rehearsal.rule(std::to_string(n), "kill"));
    const std::size_t recoveryCalls = rehearsal.rehearse("x").size();

    runs += 2;
    // The wide sweep also kills the recovery itself at each of its calls.
    std::vector<std::string> actions{"EIO"};
    if (wide()) actions.push_back("kill");
    for (std::size_t m = 1; m <= recoveryCalls; ++m) {
      for (const std::string& action : actions) {
        SCOPED_TRACE("then " + action + " at recovery call " + std::to_string(m));
        SweepProject p = project();
        p.runWith(session(), p.rule(std::to_string(n), "kill"));
        p.runWith("x", p.rule(std::to_string(m), action));
        const std::string shown = p.run("x").out;
        runs += 3;
        const Snapshot now = p.snapshot();
        EXPECT_TRUE(beforeOrAfter(now));
        EXPECT_TRUE(trueToTheFiles(shown, now));
      }
    }
  }

  // Fail N with `error`; the session says why, and 'undo' (when the
  // decision stayed on record) gives the before-state back.
  void failAt(std::size_t n, const std::string& error) {
    SCOPED_TRACE(error + " at " + std::to_string(n));
    SweepProject p = project();
    const RunResult failed = p.runWith(session(), p.rule(std::to_string(n), error));
    ++runs;
    EXPECT_EQ(failed.exitStatus, 0) << failed.out;
    EXPECT_FALSE(has(failed.out, "taking it back failed").operator bool());
    if (undo || ofHistory()) {
      // An undo that failed is completed by the next start.
      const std::string shown = p.run("x").out;
      ++runs;
      EXPECT_TRUE(beforeOrAfter(p.snapshot())) << shown;
    }
    undoes(p, false);
  }

  void run() {
    learn();
    SweepProject rehearsal = project();
    const std::vector<std::string> calls = rehearsal.rehearse(session());
    const std::size_t first = undo || ofHistory() ? 0 : decisionStart(calls);
    ASSERT_LT(first, calls.size()) << "the decision touched no file";
    for (std::size_t i = first; i < calls.size(); ++i) {
      const std::size_t n = i + 1;
      // Where the decision has moved nothing yet there is nothing to
      // recover: its recovery is failed only past its first move.
      const bool moved = calls[i].starts_with("rename") || calls[i].starts_with("pwrite") ||
                         calls[i].starts_with("write");
      killAt(n, wide() || (moved && i + 1 < calls.size()));
      failAt(n, "EIO");
      failAt(n, "ENOSPC");
    }
    const std::string what = ofHistory() ? historySession + " " + decision
                             : undo      ? "undo " + decision
                                         : decision;
    ::testing::Test::RecordProperty(what + ": calls", static_cast<int>(calls.size() - first));
    ::testing::Test::RecordProperty(what + ": runs", runs);
  }
};

struct Decision {
  std::string input;
  std::size_t punch;
  std::string name;
};

void PrintTo(const Decision& decision, std::ostream* out) {
  *out << "'" << decision.input << "' from " << decision.punch;
}

class DecisionSweep : public ::testing::TestWithParam<Decision> {};

TEST_P(DecisionSweep, EveryCallKilledOrFailedLeavesOneDecisionAllBeforeOrAllAfter) {
  Sweep sweep;
  sweep.decision = GetParam().input;
  sweep.punch = GetParam().punch;
  sweep.inputs = wide() ? 2 : 1;
  sweep.run();
}

TEST(Sweep, EveryCallOfAnUndoKilledOrFailedLeavesTheDecisionAllBeforeOrAllAfter) {
  std::vector<std::string> decisions{"ins", "rep w"};
  if (wide()) decisions = {"rep w", "ins", "cin", "del", "app gtr", "aws gtr", "awp gtr", "pad"};
  for (const std::string& decision : decisions) {
    SCOPED_TRACE(decision);
    Sweep sweep;
    sweep.decision = decision;
    sweep.undo = true;
    sweep.inputs = wide() ? 2 : 1;
    sweep.run();
  }
}

// An 'undo' of a decision with a later one taken back above it, and a
// 'redo' at the prompt of one taken back.
TEST(Sweep, EveryCallOfAnUndoOrARedoInTheHistoryLeavesItAllBeforeOrAllAfter) {
  std::vector<std::string> decisions{"del"};
  if (wide()) decisions = {"del", "ins", "rep w"};
  for (const std::string& decision : decisions) {
    for (const bool redo : {false, true}) {
      SCOPED_TRACE((redo ? "redo " : "undo ") + decision);
      Sweep sweep;
      sweep.decision = decision;
      sweep.inputs = wide() ? 2 : 1;
      sweep.setup = redo ? std::vector<std::string>{"R " + decision + " x", "undo"}
                         : std::vector<std::string>{"R " + decision + " x",
                                                    "e0.04 R " + decision + " x", "undo"};
      sweep.historySession = redo ? "redo x" : "undo";
      sweep.run();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sweep, DecisionSweep,
    ::testing::Values(Decision{"rep w", 1024, "rep"}, Decision{"ins", 1024, "ins"},
                      Decision{"cin", 1024, "cin"}, Decision{"del", 1024, "del"},
                      Decision{"app gtr", 1024, "app"}, Decision{"aws gtr", 1024, "aws"},
                      Decision{"awp gtr", 1024, "awp"}, Decision{"pad", 1024, "pad"},
                      Decision{"stp", 0, "stp"}),
    [](const ::testing::TestParamInfo<Decision>& param) { return param.param.name; });

}  // namespace
}  // namespace varnow::testing
