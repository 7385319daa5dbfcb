// The history of take decisions: 'undo' one decision at a time as far back
// as it reaches, 'redo' of the one taken back, across restarts, within the
// store's budget; 'hist' and 'forget'.
#include <filesystem>
#include <map>

#include "durable/record_bytes.hpp"
#include "e2e/decision_project.hpp"

namespace varnow::testing {
namespace {

using Snapshot = std::map<std::string, std::string>;

// Two inputs record vox.wav (there) and bass.wav (not yet); each run records
// from the punch point last set.
struct HistoryProject : ProjectFixture {
  explicit HistoryProject(const std::string& extra = "")
      : ProjectFixture("", "", "vox.wav\nbass.wav\n"), extra_(extra) {
    setPunch(6144);
    writeCapture(rampCapture(60000, {kBaseOne, kBaseTwo}));
    writeFile("vox.wav", kOld);
  }
  void setPunch(std::size_t frame) {
    punch = frame;
    writeParams("int\t0\nclock\thc\nmeter\t0\ne\t" + std::to_string(frame) + "\no\t" +
                std::to_string(frame + kTake) + "\n" + extra_);
  }
  std::string take(int channel, std::size_t at) const {
    return stamped("audio_ch_" + std::to_string(channel) + "_",
                   "_stp_" + std::to_string(at) + ".wav");
  }
  // Every file of the project and its bytes.
  Snapshot snapshot() const {
    Snapshot all;
    for (const std::string& name : files())
      all[name] = readFile(name);
    return all;
  }
  Names stored() const { return storedFiles(*this); }
  std::size_t punch = 0;
  std::string extra_;
};

TEST(History, ThreePunchInsTakenBackOneByOneKeepTheLaterTakes) {
  HistoryProject p;
  std::vector<Snapshot> before;
  for (const std::size_t at : {6144u, 12288u, 24576u}) {
    p.setPunch(at);
    before.push_back(p.snapshot());
    EXPECT_TRUE(has(p.console("R ins x"), kPrompt));
  }
  EXPECT_TRUE(p.readFile("vox.wav") != kOld);
  const std::string two = p.take(1, 12288), three = p.take(1, 24576);
  EXPECT_EQ(two, "");  // in the store

  // The prompt's 'undo' takes back the third, the menu's the second and the
  // first; 'del' then decides the first take anew and drops what could be redone.
  const std::string shown = p.console("undo undo undo del x");
  EXPECT_EQ(count(shown, kPrompt), 3u);
  EXPECT_TRUE(has(shown, "Restored vox.wav.\n"));
  EXPECT_TRUE(has(shown, "Dropped what could be redone: 'ins', 'ins', 'ins'.\n"));
  EXPECT_TRUE(p.readFile("vox.wav") == kOld);
  EXPECT_FALSE(p.exists("bass.wav"));
  for (const std::size_t at : {12288u, 24576u}) {
    SCOPED_TRACE(at);
    EXPECT_TRUE(has(shown, "The take file " + p.take(1, at) + " was kept.\n"));
    EXPECT_TRUE(p.holds(p.take(1, at), staircase(kTake, kBaseOne)));
    EXPECT_TRUE(p.holds(p.take(2, at), staircase(kTake, kBaseTwo)));
  }
  EXPECT_EQ(p.take(1, 6144), "");  // deleted, into the store
  EXPECT_EQ(p.files(),
            HistoryProject::withListFiles({p.take(1, 12288), p.take(1, 24576), p.take(2, 12288),
                                           p.take(2, 24576), "vox.wav"}));
  EXPECT_TRUE(has(p.console("redo x"), "There is no take decision to redo.\n"));

  // The 'del' is still on the history after a restart, and nothing before it.
  const std::string again = p.console("undo undo x");
  EXPECT_TRUE(p.readFile("vox.wav") == kOld);
  EXPECT_TRUE(has(again, "There is no take decision to undo.\n"));
  EXPECT_TRUE(p.holds(p.take(1, 6144), staircase(kTake, kBaseOne)));
}

TEST(History, RedoCarriesOutTheDecisionAgainByteForByte) {
  const std::string gtr = wavFile(staircase(500, 9));
  for (const std::string commands : {"ins", "cin", "rep w", "app gtr o", "pad", "del"}) {
    SCOPED_TRACE(commands);
    HistoryProject q;
    q.writeFile("vox_gtr.wav", gtr);
    q.console("R " + commands + " x");
    const Snapshot after = q.snapshot();
    // At the menu, then at the prompt of the next run.
    const std::string atMenu = q.console("undo redo x");
    EXPECT_EQ(count(atMenu, kPrompt), 1u);
    EXPECT_TRUE(q.snapshot() == after);
    q.console("undo");
    EXPECT_TRUE(q.snapshot() != after);
    EXPECT_FALSE(has(q.console("redo x"), kPrompt));
    EXPECT_TRUE(q.snapshot() == after);
    // The redone decision is undone again as any other.
    q.console("undo");
    EXPECT_TRUE(q.readFile("vox.wav") == kOld);
  }
}

TEST(History, ARedoAnswersAsTheDecisionWasAnsweredWhateverIsSetNow) {
  // Decided with the safety switch on and a crossfade of 10 ms; taken back,
  // then the switch is off and the crossfade 0: the redo asks and answers as
  // the decision did, and punches in with the same fades.
  for (const std::string commands : {"rep y w", "ins"}) {
    SCOPED_TRACE(commands);
    HistoryProject p("safe\t1\nxfade\t10.0\n");
    p.console("R " + commands + " x");
    const Snapshot after = p.snapshot();
    p.console("undo");
    p.writeParams("int\t0\nclock\thc\nmeter\t0\ne\t6144\no\t15360\n");
    const std::string shown = p.console("redo x");
    EXPECT_EQ(count(shown, "Do you really want to replace"), commands == "ins" ? 0u : 1u);
    Snapshot now = p.snapshot();
    now["param.txt"] = after.at("param.txt");
    EXPECT_TRUE(now == after);
  }
}

TEST(History, AFileChangedInTheMiddleOfTheHistoryStopsTheStepThatWouldTouchIt) {
  HistoryProject p;
  p.console("R ins x");
  p.setPunch(24576);
  p.console("R ins x");
  p.console("undo");  // the second taken back; its take waits at the menu
  // Another program changes the track: the first 'ins' is not taken back.
  std::string changed = p.readFile("vox.wav");
  changed[44 + 6144 * 3 + 100] ^= 1;
  p.writeFile("vox.wav", changed);
  const std::string refused = p.console("undo x");
  EXPECT_TRUE(has(refused,
                  "Could not undo 'ins': vox.wav has changed since 'ins'; nothing was changed.\n"));
  EXPECT_EQ(count(refused, kPrompt), 0u);
  EXPECT_TRUE(p.readFile("vox.wav") == changed);
  // Nor is the second carried out again over it.
  EXPECT_TRUE(has(p.console("redo x"),
                  "Could not redo 'ins': vox.wav has changed since 'ins' was taken back; nothing "
                  "was changed.\n"));
  EXPECT_TRUE(p.readFile("vox.wav") == changed);
  EXPECT_TRUE(p.holds(p.take(1, 24576), staircase(kTake, kBaseOne)));

  // A take file changed since its decision was taken back stops the redo too.
  HistoryProject q;
  q.console("R ins x");
  q.console("undo");
  const std::string name = q.take(2, 6144);
  std::string take = q.readFile(name);
  take[60] ^= 1;
  q.writeFile(name, take);
  const Snapshot before = q.snapshot();
  EXPECT_TRUE(has(q.console("redo x"), "Could not redo 'ins': " + name +
                                           " has changed since 'ins' was taken back; nothing "
                                           "was changed.\n"));
  EXPECT_TRUE(q.snapshot() == before);
}

TEST(History, ANewDecisionDropsWhatCouldBeRedoneAndTheBudgetTheOldest) {
  HistoryProject p;
  p.console("R ins x");
  p.console("undo");
  p.setPunch(24576);
  const std::string dropped = p.console("R del x");
  EXPECT_TRUE(has(dropped, "Dropped what could be redone: 'ins'.\n"));
  EXPECT_TRUE(has(p.console("redo x"), "There is no take decision to redo.\n"));
  EXPECT_FALSE(has(p.console("R stp x"), "Dropped"));

  // A budget of 0 MB keeps the newest decision only.
  HistoryProject small("undobudget\t0\n");
  small.console("R ins x");
  EXPECT_EQ(small.stored().size(), 3u);  // the journal and both takes
  small.setPunch(24576);
  const std::string second = small.console("R del x");
  EXPECT_TRUE(has(second, "Dropped the oldest take decision on record, 'ins' of "));
  EXPECT_EQ(small.stored().size(), 2u);
  const std::string back = small.console("undo undo x");
  EXPECT_TRUE(has(back, "There is no take decision to undo.\n"));
  EXPECT_TRUE(small.readFile("vox.wav") != kOld);  // the 'ins' stays
}

TEST(History, TheListingAndForgettingFreeTheStore) {
  HistoryProject p;
  EXPECT_TRUE(has(p.console("hist x"), "The history of take decisions is empty.\n"));
  p.console("R ins x");
  p.setPunch(24576);
  p.console("R del x");
  p.console("R stp x");
  p.console("undo");
  const std::string listed = p.console("hist x");
  const std::string take = p.take(1, 24576);
  // Newest first: the one taken back, then the others, then the store.
  const std::size_t first = listed.find("1  'stp' (taken back)  take " + take);
  const std::size_t second = listed.find("\n2  'del'  take ");
  const std::size_t third = listed.find("\n3  'ins'  take ");
  EXPECT_NE(first, std::string::npos) << listed;
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
  EXPECT_NE(third, std::string::npos) << listed;
  EXPECT_TRUE(has(listed, "  files vox.wav "));
  EXPECT_TRUE(has(listed, " MB\nThe store holds "));
  EXPECT_TRUE(has(listed, " MB of its 2048.0 MB.\n"));

  EXPECT_TRUE(has(p.console("forget n x"),
                  "Forget every take decision on record, so that none can be undone or redone? "
                  "(y/n)\n"));
  EXPECT_EQ(p.stored().size(), 5u);
  EXPECT_TRUE(has(p.console("forget y x"), "Forgot 3 take decisions and freed "));
  EXPECT_EQ(p.stored(), Names{});
  const std::string none = p.console("undo redo x");
  EXPECT_TRUE(has(none, "There is no take decision to undo.\n"));
  EXPECT_TRUE(has(none, "There is no take decision to redo.\n"));
  EXPECT_TRUE(p.readFile("vox.wav") != kOld);
}

// The record the version before the history wrote: its header without the
// history's fields (place, answers, crossfade, safety mode, overwrite flag).
std::string earlierRecord(const std::string& record) {
  constexpr std::size_t kBodyAt = 13, kHistoryFields = 8 + 4 + 8 + 4 + 1;
  std::uint32_t body = 0;
  for (int i = 3; i >= 0; --i)
    body = (body << 8) | static_cast<std::uint8_t>(record[9 + static_cast<std::size_t>(i)]);
  std::string header = "VNDCSN02" + record.substr(8, 1);
  appendNumber(header, body - kHistoryFields, 4);
  header += record.substr(kBodyAt, body - kHistoryFields);
  Checksum sum;
  sum.add(std::string_view(header).substr(0, 8));
  sum.add(std::string_view(header).substr(9));
  appendNumber(header, sum.value(), 8);
  return header + record.substr(kBodyAt + body + 8);
}

TEST(History, ADecisionRecordedByTheEarlierVersionIsTakenBackAndKeptOnTheHistory) {
  HistoryProject p;
  p.console("R ins x");
  const std::string record = p.readFile(".varnow-undo/record");
  ASSERT_TRUE(record.starts_with("VNDCSN03C"));
  p.writeFile(".varnow-undo/record", earlierRecord(record));
  // A new decision keeps it as the oldest of the history; both go back.
  p.setPunch(24576);
  p.console("R ins x");
  const std::string shown = p.console("undo undo del x");
  EXPECT_FALSE(has(shown, "damaged"));
  EXPECT_TRUE(p.readFile("vox.wav") == kOld);
  EXPECT_TRUE(p.holds(p.take(1, 24576), staircase(kTake, kBaseOne)));
}

}  // namespace
}  // namespace varnow::testing
