// SPDX-License-Identifier: MIT
// Bad input sends nothing: one line on stderr, exit code 2, no frame at the
// module and the settings file as it was. And --help and --version.
#include "cli_fixture.h"

TEST_F(CliTest, BadInputSendsNothingAndSaysWhyInOneLine) {
  sim::SimModule& module = StoredModule();
  std::string settings = ReadFile(SettingsPath());
  std::string badProfile = WriteFile("bad.ini", "[module]\nid1 = 12\nspeed = fast\n");
  std::string emptyProfile = WriteFile("empty.ini", "# nothing here\n[module]\n");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"scan", "--bogus"},
      {"scan", "extra"},
      {"scan", "--port", "17"},
      {"scan", "--port"},
      {"scan", "--lang", "fr"},
      {"scan", "--rs485", "24"},
      {"set-id"},
      {"set-id", "0"},
      {"set-id", "100"},
      {"set-id", "-5"},
      {"set-id", "12", "abc"},
      {"set-id", "1", "2", "3"},
      {"set-baud", "9600,x,8,1"},
      {"set-baud", "12"},
      {"set-keys", "21"},
      {"set-keys", "4x"},
      {"set-keys", "--lock=yes", "4"},
      {"set-mode", "three"},
      {"set-mode", "two", "--rs485", "33"},
      {"watch", "--seconds", "soon"},
      {"watch", "--seconds", "0"},
      {"watch", "--csv", (Dir() / "no-such-folder" / "cards.csv").string()},
      {"apply", (Dir() / "missing.ini").string()},
      {"apply", badProfile},
      {"apply", emptyProfile},
      {"discover", "--ports", "0"},
      {"apply", badProfile, "--ports", "3-"},
  };
  for (const std::vector<std::string>& arguments : cases) {
    ChildResult r = Run(arguments);
    std::string command = "rt420ctl " + Joined(arguments);
    EXPECT_EQ(r.exitCode, 2) << command << "\n" << r.out << r.err;
    EXPECT_TRUE(r.out.empty()) << command << "\n" << r.out;
    std::vector<std::string> lines = Lines(r.err);
    ASSERT_EQ(lines.size(), 1u) << command << "\n" << r.err;
    EXPECT_EQ(lines[0].rfind("rt420ctl: ", 0), 0u) << lines[0];
  }
  EXPECT_TRUE(module.Commands().empty()) << Joined(module.Commands());
  EXPECT_EQ(ReadFile(SettingsPath()), settings);
}

TEST_F(CliTest, ErrorsNameWhatIsWrong) {
  StoredModule();
  EXPECT_TRUE(Contains(Run({"set-id", "100"}).err, "ID 1 must be a number from 1 to 99, not '100'"));
  EXPECT_TRUE(Contains(Run({"set-keys", "x"}).err, "key count must be a number from 0 to 20, not 'x'"));
  EXPECT_TRUE(Contains(Run({"set-baud", "300,n,8,1"}).err, "unknown line setting '300,n,8,1'"));
  EXPECT_TRUE(Contains(Run({"frobnicate"}).err, "unknown subcommand 'frobnicate'"));
  EXPECT_TRUE(Contains(Run({"scan", "--bogus"}).err, "unknown option '--bogus'"));
  // An error within a subcommand points to its own help.
  EXPECT_TRUE(Contains(Run({"set-id", "100"}).err, "(rt420ctl set-id --help shows its usage)"));
  EXPECT_TRUE(Contains(Run({"frobnicate"}).err, "(rt420ctl --help shows the usage)"));
  std::string profile = WriteFile("p.ini", "id1 = 5\nid1 = 6\n");
  EXPECT_TRUE(Contains(Run({"apply", profile}).err, "line 2: id1 given twice")) << Run({"apply", profile}).err;
}

TEST_F(CliTest, HelpForTheProgramAndEachSubcommand) {
  ChildResult program = Run({"--help"});
  EXPECT_EQ(program.exitCode, 0);
  const std::vector<std::string> subcommands = {"scan",    "set-id", "set-baud", "set-keys", "set-mode",
                                                "factory-default", "watch", "apply", "ports", "discover"};
  for (const std::string& name : subcommands) {
    EXPECT_TRUE(Contains(program.out, "  " + name + " ")) << name;
    ChildResult own = Run({name, "--help"});
    EXPECT_EQ(own.exitCode, 0) << name;
    EXPECT_EQ(own.out.rfind("usage: rt420ctl " + name, 0), 0u) << own.out;
  }
  for (const char* code : {"  0  success", "  1  the module", "  2  usage error", "  3  the port could not"})
    EXPECT_TRUE(Contains(program.out, code)) << code;
  ChildResult version = Run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("rt420ctl ", 0), 0u);
  EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(version.out[9]))) << version.out;
}
