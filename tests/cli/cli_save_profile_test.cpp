// SPDX-License-Identifier: MIT
// rt420ctl scan --save-profile: what the scan read, as a profile that apply
// takes and finds already matching; a scan that misses, or a place that
// cannot take the file, writes nothing.
#include "cli_fixture.h"

namespace {
// The temporary files left in dir and below: none, after any run.
std::vector<std::string> Temporaries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
    if (entry.path().extension() == ".tmp") names.push_back(entry.path().string());
  return names;
}
}  // namespace

TEST_F(CliTest, ScanSavesAProfileThatApplyFindsAlreadyMatching) {
  struct Case {
    const char* what;
    sim::ModuleConfig config;
    std::vector<std::string> profileLines;  // the settings, in the file's order
  };
  sim::ModuleConfig oneReader;
  oneReader.id1 = "21", oneReader.id2 = "07", oneReader.keyCount = "06", oneReader.mode = '1', oneReader.rs485 = '2';
  sim::ModuleConfig noId2;  // an ID a profile cannot hold is left out
  noId2.id2 = "00", noId2.keyCount = "20", noId2.rs485 = '0';
  const Case cases[] = {
      {"one reader", oneReader,
       {"id1 = 21", "id2 = 07", "line-setting = 19200,e,8,1", "key-count = 06", "mode = one", "rs485 = 40"}},
      {"ID 2 00", noId2, {"id1 = 01", "line-setting = 19200,e,8,1", "key-count = 20", "mode = two", "rs485 = 24"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::SimModule& module = StoredModule(c.config);
    std::string path = (Dir() / "copy.ini").string();
    ChildResult scan = Run({"scan", "--save-profile", path});
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_TRUE(Contains(scan.out, "profile saved to " + path)) << scan.out;
    std::vector<std::string> settings;
    for (const std::string& line : Lines(ReadFile(path)))
      if (!line.empty() && line[0] != '#' && line != "[module]") settings.push_back(line);
    EXPECT_EQ(settings, c.profileLines) << ReadFile(path);

    module.ClearCommands();
    ChildResult apply = Run({"apply", path, "--csv", (Dir() / "copy.csv").string()});
    EXPECT_EQ(apply.exitCode, 0) << apply.out << apply.err;
    EXPECT_TRUE(Contains(apply.out, "12345678-9: ok (nothing written)")) << apply.out;
    std::vector<std::string> twoScans = kScanFrames;
    twoScans.insert(twoScans.end(), kScanFrames.begin(), kScanFrames.end());
    EXPECT_EQ(module.Commands(), twoScans);
    EXPECT_EQ(Temporaries(Dir()), std::vector<std::string>{});
    TearDown();
    SetUp();
  }
}

TEST_F(CliTest, SaveProfileWritesNothingWhenTheScanMissesOrTheFileCannotBeMade) {
  struct Case {
    const char* what;
    bool silent;       // the module does not answer
    const char* path;  // under the test's folder
    int exitCode;
    bool framesSent;
  };
  const Case cases[] = {
      {"silent module", true, "kept.ini", 1, true},
      {"no such folder", false, "missing/new.ini", 2, false},
      {"a folder", false, "folder", 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::SimModule& module = StoredModule();
    if (c.silent) module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "", -1));
    std::filesystem::create_directory(Dir() / "folder");
    std::string kept = WriteFile("kept.ini", "id1 = 33\n");
    ChildResult r = Run({"scan", "--lock", "--save-profile", (Dir() / c.path).string()});
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
    EXPECT_EQ(!module.Commands().empty(), c.framesSent);
    EXPECT_FALSE(Contains(r.out, "profile saved")) << r.out;
    EXPECT_EQ(ReadFile(kept), "id1 = 33\n");
    EXPECT_EQ(Temporaries(Dir()), std::vector<std::string>{});
    if (!c.silent) {
      EXPECT_FALSE(std::filesystem::is_regular_file(Dir() / c.path));
    }
    TearDown();
    SetUp();
  }
}
