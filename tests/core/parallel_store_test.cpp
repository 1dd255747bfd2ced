// SPDX-License-Identifier: MIT
// The settings store and the catalogue used by several threads at once, on a
// real settings file in a fresh folder: every value read is one that some
// thread wrote whole, and no save loses another's values.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "line_settings.h"
#include "settings_file.h"
#include "settings_home.h"
#include "settings_medium.h"
#include "settings_store.h"

namespace {

constexpr int kWriterThreads = 6;
constexpr int kSavesPerThread = 8;
constexpr int kReaderThreads = 3;

// Runs each function on a thread of its own, all started together, and
// waits for them all.
void RunTogether(const std::vector<std::function<void()>>& bodies) {
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (const auto& body : bodies)
    threads.emplace_back([&go, &body] {
      while (!go) std::this_thread::yield();
      body();
    });
  go = true;
  for (std::thread& thread : threads) thread.join();
}

// The scan result that thread t saves: all three values tell t.
store::ScanResult ResultOf(int t) {
  store::ScanResult scan;
  scan.ScanCommNo = t + 1;
  scan.ScanBaudRateNo = t;
  scan.ScanBaudRate = serial::kLineSettings[t];
  return scan;
}

// True when the three values are those of one save (or the defaults).
bool Whole(const store::ScanResult& scan) {
  if (scan.ScanCommNo == 0)
    return scan.ScanBaudRateNo == serial::kDefaultLineSettingNo && scan.ScanBaudRate == serial::kDefaultLineSetting;
  const int t = scan.ScanCommNo - 1;
  return t >= 0 && t < kWriterThreads && scan.ScanBaudRateNo == t && scan.ScanBaudRate == serial::kLineSettings[t];
}

class ParallelStore : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.Made());
    WriteSettingsFile(home_.File(), "", {{3, "/dev/null"}});
    catalogue::FillCatalogue();
  }
  void TearDown() override {
    catalogue::ReleaseCatalogue();
    catalogue::Language = catalogue::LanguageState{};
  }
  SettingsHome home_{"rt420-parallel"};
};

// Saves, loads and port table reads at once: each load sees one save's three
// values, the port table stays readable throughout, and a value written
// among the saves is never lost to a save that read the file before it.
TEST_F(ParallelStore, SavesAndLoadsSeeWholeResults) {
  std::atomic<int> torn{0}, lostTable{0}, loads{0};
  std::atomic<bool> writing{true};
  std::vector<std::function<void()>> writers, readers;
  for (int t = 0; t < kWriterThreads; ++t)
    writers.push_back([t] {
      for (int i = 0; i < kSavesPerThread; ++i) store::SaveScanResult(ResultOf(t));
    });
  // A write of another value into the same key, amid the saves.
  writers.push_back([] {
    auto key = store::OpenSettingsKey("Software\\TAVIX\\Corvel", true);
    if (key) key->WriteString("LanguageFlag", "ChineseGB");
  });
  for (int r = 0; r < kReaderThreads; ++r)
    readers.push_back([&] {
      do {
        store::ScanResult scan;
        store::LoadSettings(scan);
        if (!Whole(scan)) ++torn;
        serial::PortTableAnswer entry = store::ReadPortTable("COM3");
        if (entry.kind != serial::PortTableAnswer::Kind::Entry || entry.path != "/dev/null") ++lostTable;
        ++loads;
        // A connection reads now and then, not without a pause.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      } while (writing);
    });
  // The readers go on until the writers are done.
  std::thread reading([&] { RunTogether(readers); });
  RunTogether(writers);
  writing = false;
  reading.join();

  EXPECT_EQ(torn, 0);
  EXPECT_EQ(lostTable, 0);
  EXPECT_GT(loads, 0);
  store::ScanResult last;
  store::LoadSettings(last);
  EXPECT_NE(last.ScanCommNo, 0);
  EXPECT_TRUE(Whole(last)) << last.ScanCommNo << " " << last.ScanBaudRateNo << " " << last.ScanBaudRate;
  EXPECT_EQ(catalogue::CurrentLanguage().LanguageName, "ChineseGB");
  EXPECT_EQ(store::ReadPortTable("COM3").path, "/dev/null");
}

// Each thread writes values of its own through keys it opened itself: every
// write is one locked read-change-write of the file, so none is lost to
// another thread's write of the same moment.
TEST_F(ParallelStore, WritesOfSeveralThreadsAreAllKept) {
  const std::string path = "Software\\TAVIX\\Corvel\\Parallel";
  std::vector<std::function<void()>> bodies;
  for (int t = 0; t < kWriterThreads; ++t)
    bodies.push_back([t, &path] {
      for (int i = 0; i < kSavesPerThread; ++i) {
        auto key = store::OpenSettingsKey(path, true);
        if (key) key->WriteDword("T" + std::to_string(t) + "-" + std::to_string(i), uint32_t(t * 100 + i));
      }
    });
  RunTogether(bodies);

  auto key = store::OpenSettingsKey(path, false);
  ASSERT_NE(key, nullptr);
  for (int t = 0; t < kWriterThreads; ++t)
    for (int i = 0; i < kSavesPerThread; ++i)
      EXPECT_EQ(key->ReadDword("T" + std::to_string(t) + "-" + std::to_string(i)), uint32_t(t * 100 + i))
          << "thread " << t << " write " << i;
  EXPECT_EQ(store::ReadPortTable("COM3").path, "/dev/null");
}

// Texts read while other threads fill and release the catalogue and reload
// the language: each is one language's whole text of its number, and the
// language's index and name always belong together.
TEST_F(ParallelStore, CatalogueTextsStayWholeWhileTheLanguageReloads) {
  std::vector<std::set<std::string>> expected(catalogue::kMessageCount);
  for (int number = 0; number < catalogue::kMessageCount; ++number)
    for (int language = 0; language < catalogue::kLanguageCount; ++language)
      expected[number].insert(catalogue::CatalogueText(number, language));
  catalogue::SelectLanguage(0);
  std::atomic<int> wrongText{0}, mixedLanguage{0};
  std::atomic<bool> reading{true};
  std::thread switcher([&] {
    for (int round = 0; reading; ++round) {
      catalogue::FillCatalogue();
      catalogue::SetLanguageByName(catalogue::LanguageNameOf(round % catalogue::kLanguageCount));
      catalogue::ReleaseCatalogue();
    }
  });
  std::vector<std::function<void()>> readers;
  for (int r = 0; r < kReaderThreads; ++r)
    readers.push_back([&] {
      for (int round = 0; round < 200; ++round) {
        const int number = round % catalogue::kMessageCount;
        if (expected[number].count(catalogue::MessageText(number)) == 0) ++wrongText;
        catalogue::LanguageState language = catalogue::CurrentLanguage();
        if (language.LanguageName != catalogue::LanguageNameOf(language.LanguageIndex)) ++mixedLanguage;
      }
    });
  RunTogether(readers);
  reading = false;
  switcher.join();
  EXPECT_EQ(wrongText, 0);
  EXPECT_EQ(mixedLanguage, 0);
}

}  // namespace
