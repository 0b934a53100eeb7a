// The command-line tools, run as a user runs them: exit statuses, what they print, what they write.
#include "tests/mof/MofTestSupport.h"
#include "tests/support/TestRepository.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace morrowlen;

namespace {

struct Ran {
    int status;
    std::string output; // stdout and stderr together
};

Ran run(const std::string& command) {
    Ran r{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buf;
    for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0;)
        r.output.append(buf.data(), n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

class Tools : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string repository = (dir / "repo.sqlite").string();

    Ran mofcomp(const std::string& args) {
        return run(std::string(MORROWLEN_MOFCOMP) + " --no-default-set --repository " + repository + " " +
                   args);
    }
    Ran repo(const std::string& args) {
        return run(std::string(MORROWLEN_REPO_TOOL) + " --repository " + repository + " " + args);
    }
    std::string file(const std::string& name, const std::string& text) {
        test::writeFile(dir / name, text);
        return (dir / name).string();
    }
};

TEST_F(Tools, CompileThenLookAtWhatWasWritten) {
    const std::string mof = file("a.mof", R"(
        #pragma namespace("\\\\.\\root")
        instance of __Namespace { Name = "sample"; };
        #pragma namespace("\\\\.\\root\\sample")
        instance of __Namespace { Name = "ms_409"; };
        [Description("A thing.")] class Sample_Thing { [Key, MaxLen(8)] string Name; uint32 Run([In] uint8 X); };
        #pragma namespace("\\\\.\\root\\sample\\ms_409")
        Qualifier Description : ToSubclass Amended;
        [Amendment, Locale(0x409), Description("Localised.")] class Sample_Thing { };
    )");
    const Ran compiled = mofcomp(mof);
    ASSERT_EQ(compiled.status, 0) << compiled.output;
    EXPECT_NE(compiled.output.find(
                  "compiled 1 file: 2 namespaces, 2 classes, 0 instances, 0 qualifier declarations"),
              std::string::npos)
        << compiled.output;

    const Ran tree = repo("namespaces");
    EXPECT_EQ(tree.status, 0);
    EXPECT_EQ(tree.output, "root\n  sample\n    ms_409\n");

    const Ran classes = repo("classes root/sample");
    EXPECT_NE(classes.output.find("__SystemClass\n"), std::string::npos) << "system classes first";
    EXPECT_NE(classes.output.find("\nSample_Thing\n"), std::string::npos);

    const Ran shown = repo("show root\\\\sample Sample_Thing");
    EXPECT_EQ(shown.status, 0) << shown.output;
    EXPECT_EQ(shown.output,
              "[Description(\"A thing.\")]\nclass Sample_Thing\n{\n    [Key : DisableOverride, MaxLen(8)]\n"
              "    string Name;\n\n    uint32 Run(\n        [In] uint8 X);\n};\n");
    const Ran amended = repo("show root/sample Sample_Thing --amended");
    EXPECT_NE(amended.output.find("Description(\"Localised.\") : Amended"), std::string::npos)
        << amended.output;

    const Ran json = repo("show root/sample Sample_Thing --format json");
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.output.find("\"name\": \"Sample_Thing\""), std::string::npos) << json.output;
    EXPECT_NE(
        json.output.find("{\"name\": \"CIMTYPE\", \"type\": \"string\", \"isArray\": false, \"value\": "
                         "\"string\", \"flavors\": [\"ToSubclass\", \"EnableOverride\", \"ToInstance\"], "
                         "\"propagated\": false}"),
        std::string::npos)
        << json.output;
}

TEST_F(Tools, TheDefaultSetCompilesFromItsFilesOnDisk) {
    const Ran check = mofcomp("-check " + std::string(MORROWLEN_DEFAULT_SET_DIR) + "/default.mof");
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(check.output.find("warning"), std::string::npos) << check.output;
}

TEST_F(Tools, ProfileWritesThePageOfAClass) {
    ASSERT_EQ(
        mofcomp(file("p.mof", "class Sample_P { [MaxLen(3), Description(\"a<b\")] string Name; };")).status,
        0);
    const Ran page = repo("profile root/default Sample_P -o " + (dir / "P.htm").string());
    ASSERT_EQ(page.status, 0) << page.output;
    const std::string text = test::readFile(dir / "P.htm");
    EXPECT_NE(text.find("<TD class=subjectbar colSpan=5>Sample_P - Properties</TD></TR>\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("<TH class=headingbar valign=top align=middle>3</TH>\r\n"), std::string::npos);
    EXPECT_NE(text.find("<TH class=headingbar align=Left>a&lt;b</TH></TR>\r\n"), std::string::npos);
    EXPECT_EQ(repo("profile root/default NoSuchClass").status, 1);
}

TEST_F(Tools, ProfileOutputIsWrittenAsTheTargetCalls) {
    namespace fs = std::filesystem;
    ASSERT_EQ(mofcomp(file("p.mof", "class Sample_P { string Name; };")).status, 0);
    const std::string page = "Sample_P - Properties";
    const auto out = [&](const std::string& to) { return repo("profile root/default Sample_P -o " + to); };

    file("kept.htm", "old");
    fs::permissions(dir / "kept.htm", fs::perms::owner_read | fs::perms::owner_write);
    file("real.htm", "old");
    fs::create_symlink("real.htm", dir / "link.htm");
    fs::create_symlink("made.htm", dir / "dangling.htm");
    fs::create_symlink("loop.htm", dir / "loop.htm");
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Case {
        std::string target;
        int status;
        std::string output; // expected in what the tool prints
        fs::path written;   // the file that then holds the page
    };
    const Case cases[] = {
        {(dir / "kept.htm").string(), 0, "", dir / "kept.htm"},
        {(dir / "link.htm").string(), 0, "", dir / "real.htm"},
        {(dir / "dangling.htm").string(), 0, "", dir / "made.htm"},
        {"-", 0, page, {}},
        {"/dev/stdout", 0, page, {}},
        {"/dev/null", 0, "", {}},
        {(dir / "folder").string(), 1, "folder is a folder, not a file", {}},
        {(dir / "loop.htm").string(), 1, "loop.htm is a loop of symbolic links", {}},
        {(dir / "no" / "such" / "x.htm").string(), 1, "Path not found", {}},
    };
    for (const Case& c : cases) {
        const Ran r = out(c.target);
        EXPECT_EQ(r.status, c.status) << c.target << ": " << r.output;
        EXPECT_NE(r.output.find(c.output), std::string::npos) << c.target << ": " << r.output;
        if (!c.written.empty()) {
            EXPECT_NE(test::readFile(c.written).find(page), std::string::npos) << c.target;
        }
    }
    // A FIFO is written to, with a reader at the other end.
    const Ran piped = run("cat " + (dir / "fifo").string() + " > " + (dir / "piped").string() + " & " +
                          MORROWLEN_REPO_TOOL + " --repository " + repository +
                          " profile root/default Sample_P -o " + (dir / "fifo").string() + "; wait");
    EXPECT_EQ(piped.status, 0) << piped.output;
    EXPECT_NE(test::readFile(dir / "piped").find(page), std::string::npos);
    EXPECT_EQ(fs::status(dir / "kept.htm").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(fs::is_symlink(dir / "link.htm"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().extension(), ".tmp") << "left behind: " << e.path();

    const Ran bare = repo("profile root/default Sample_P -o");
    EXPECT_EQ(bare.status, 2);
    EXPECT_NE(bare.output.find("option '-o' needs a file name"), std::string::npos) << bare.output;
}

TEST_F(Tools, ExitStatusesFollowThePlatformCompiler) {
    EXPECT_EQ(mofcomp(file("ok.mof", "class A { };")).status, 0);
    EXPECT_EQ(mofcomp(file("semantic.mof", "class B : Missing { };")).status, 1);
    EXPECT_EQ(mofcomp(file("syntax.mof", "class C {")).status, 3);
    EXPECT_EQ(mofcomp("--no-such-switch x.mof").status, 2);
    EXPECT_EQ(mofcomp("").status, 2) << "no file";
    EXPECT_EQ(mofcomp("-class:sometimes x.mof").status, 2);
    EXPECT_EQ(mofcomp("-class:createonly -class:updateonly x.mof").status, 2);
    EXPECT_EQ(run(std::string(MORROWLEN_MOFCOMP) + " --help").status, 0);
    EXPECT_EQ(repo("frobnicate").status, 2);
    EXPECT_EQ(repo("show root/default NoSuchClass").status, 1);
}

TEST_F(Tools, BrowsingNeverCreatesOrWritesARepository) {
    const Ran missing = repo("namespaces");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find(repository + " does not exist"), std::string::npos) << missing.output;
    EXPECT_FALSE(std::filesystem::exists(repository));

    ASSERT_EQ(mofcomp(file("b.mof", "class Sample_B { };")).status, 0);
    const std::string before = test::readFile(repository);
    std::filesystem::permissions(repository, std::filesystem::perms::owner_read);
    EXPECT_EQ(repo("classes root/default").status, 0);
    EXPECT_EQ(test::readFile(repository), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "nothing beside it";
}

TEST_F(Tools, DiagnosticsShowTheLineAndACaret) {
    const Ran r = mofcomp(file("bad.mof", "class A\n{\n    string Name\n};\n"));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("bad.mof:3:16: error: expected ';' after the property declaration, found '}'\n"
                            "    string Name\n               ^\n"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("nothing was written"), std::string::npos);
}

TEST_F(Tools, MessagesAreEscapedAndCountedOnce) {
    std::string many;
    for (int i = 0; i < 150; ++i)
        many += "class E" + std::to_string(i) + " : Missing { };\n";
    const Ran r = mofcomp(file("many.mof", many));
    const std::size_t stopped = r.output.find("stopped after ");
    ASSERT_NE(stopped, std::string::npos) << r.output;
    const std::string count = r.output.substr(stopped + 14, r.output.find(',', stopped) - stopped - 14);
    EXPECT_NE(r.output.find(count + ", of which the first 100 are shown"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("morrowlen-mofcomp: " + count + " errors"), std::string::npos) << r.output;

    const Ran esc = mofcomp(file("esc\x1b[2J.mof", "class A \x07{"));
    EXPECT_NE(esc.output.find("esc\\x1B[2J.mof:1:"), std::string::npos) << esc.output;
    EXPECT_NE(esc.output.find("class A \\x07{"), std::string::npos) << esc.output;
    EXPECT_EQ(esc.output.find_first_of("\x1b\x07"), std::string::npos);
}

TEST_F(Tools, InputsThatAreNotFilesSaySoAndPipesAreRead) {
    namespace fs = std::filesystem;
    fs::create_directory(dir / "folder");
    fs::create_symlink("loop.mof", dir / "loop.mof");
    ASSERT_EQ(::mkfifo((dir / "fifo.mof").c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {(dir / "folder").string(), "is a folder, not a file"},
        {(dir / "loop.mof").string(), "is a loop of symbolic links"},
        {"/dev/zero", "is a device, not a file"},
        {(dir / "none.mof").string(), "does not exist"},
        {file("inc1.mof", "#pragma include(\"fifo.mof\")"),
         "include file \"fifo.mof\" is a pipe, not a file"},
        {file("inc2.mof", "#pragma include(\"folder\")"), "include file \"folder\" is a folder, not a file"},
    };
    for (const auto& [input, message] : cases) {
        const Ran r = mofcomp(input);
        EXPECT_EQ(r.status, 1) << input;
        EXPECT_NE(r.output.find(message), std::string::npos) << input << ": " << r.output;
    }
    const Ran piped = run("echo 'class Sample_Piped { };' | " + std::string(MORROWLEN_MOFCOMP) +
                          " --no-default-set --repository " + repository + " /dev/stdin");
    EXPECT_EQ(piped.status, 0) << piped.output;
}

TEST_F(Tools, CheckWritesNothingAndSwitchesPickNamespaceAndFlags) {
    const std::string mof = file("c.mof", "class Sample_C { };");
    const Ran check = mofcomp("-check " + mof);
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_FALSE(std::filesystem::exists(repository)) << "--check creates no repository";

    ASSERT_EQ(mofcomp("-N:root/elsewhere " + mof).status, 0);
    const std::string before = test::readFile(repository);
    EXPECT_EQ(mofcomp("--check --namespace root/elsewhere -class:createonly " + mof).status, 1);
    EXPECT_EQ(mofcomp("--check -N:root/elsewhere " + file("d.mof", "class Sample_D { };")).status, 0);
    EXPECT_EQ(test::readFile(repository), before);
    EXPECT_EQ(repo("classes root/elsewhere").output.find("Sample_D"), std::string::npos);
}

TEST_F(Tools, IncludeFoldersFromTheCommandLine) {
    file("lib/part.mof", "class Sample_Part { };");
    const std::string top = file("top.mof", "#pragma include(\"part.mof\")");
    EXPECT_EQ(mofcomp(top).status, 1);
    EXPECT_EQ(mofcomp("-I " + (dir / "lib").string() + " " + top).status, 0);
}

TEST_F(Tools, EnvironmentNamesTheRepository) {
    const std::string mof = file("e.mof", "class Sample_E { };");
    const std::string env = "MORROWLEN_REPOSITORY=" + (dir / "env.sqlite").string() + " ";
    EXPECT_EQ(run(env + MORROWLEN_MOFCOMP + " " + mof).status, 0);
    EXPECT_NE(run(env + MORROWLEN_REPO_TOOL + " classes root/default").output.find("Sample_E"),
              std::string::npos);
    const std::string xdg = "env -u MORROWLEN_REPOSITORY XDG_DATA_HOME=" + (dir / "data").string() + " ";
    EXPECT_EQ(run(xdg + MORROWLEN_MOFCOMP + " " + mof).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "data" / "morrowlen" / "repository.sqlite"));
}

TEST_F(Tools, FindPrintsSortedHitsAndSaysByItsStatusWhetherThereWereAny) {
    ASSERT_EQ(mofcomp(file("f.mof", "#pragma namespace(\"root/b\")\n"
                                    "[Description(\"Spinning disk.\")] class B_Disk { [Key] string Id; };\n"
                                    "#pragma namespace(\"root/a\")\n"
                                    "class B_Base { string Id; }; class A_Disk : B_Base { };"))
                  .status,
              0);
    struct Case {
        std::string args;
        int status;
        std::string output;
    };
    const std::vector<Case> cases = {
        {"find '*disk'", 0, "root\\a:A_Disk\nroot\\b:B_Disk\n"},
        {"find '*' --property id --namespace root/a", 0, "root\\a:A_Disk.Id\nroot\\a:B_Base.Id\n"},
        {"find '*' --qualifier=Key", 0, "root\\b:B_Disk.Id\n"},
        {"find '*' --text 'spinning DISK'", 0, "root\\b:B_Disk\n"},
        {"find 'B_*' --format json", 0,
         "{\"hits\": [\n  {\"namespace\": \"root\\\\a\", \"class\": \"B_Base\", \"property\": null},\n"
         "  {\"namespace\": \"root\\\\b\", \"class\": \"B_Disk\", \"property\": null}\n], \"skipped\": "
         "[]}\n"},
        {"find NoSuch --format json", 1, "{\"hits\": [], \"skipped\": []}\n"},
        {"find NoSuch", 1, ""},
        {"find", 2, ""},
        {"find '*' --format xml", 2, ""},
        {"find '*' --colour", 2, ""},
        {"find '*' --text", 2, ""},
    };
    for (const Case& c : cases) {
        const Ran r = repo(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
        if (c.status != 2) EXPECT_EQ(r.output, c.output) << c.args;
    }
}

// Compares with golden-tree/NAME; MORROWLEN_UPDATE_GOLDEN=1 rewrites it.
void expectGolden(const std::string& name, const std::string& actual) {
    const std::filesystem::path golden =
        std::filesystem::path(MORROWLEN_MOF_GOLDEN_DIR) / ".." / "golden-tree" / name;
    if (const char* update = std::getenv("MORROWLEN_UPDATE_GOLDEN"); update && *update == '1')
        test::writeFile(golden, actual);
    ASSERT_TRUE(std::filesystem::exists(golden))
        << "missing " << golden << "; run with MORROWLEN_UPDATE_GOLDEN=1";
    EXPECT_EQ(actual, test::readFile(golden)) << name;
}

TEST_F(Tools, TreeDrawsInheritanceAndListsAssociations) {
    ASSERT_EQ(
        mofcomp(
            file("t.mof",
                 "#pragma namespace(\"root/s\")\n"
                 "class S_Base { [Key] string Id; };\n"
                 "class S_Disk : S_Base { }; class S_Removable : S_Disk { }; class S_Fixed : S_Disk { };\n"
                 "class S_Net : S_Base { }; class S_Other { }; class S_Event : __ExtrinsicEvent { };\n"
                 "[Association] class S_Link { S_Base ref Owner; S_Other ref Other; };\n"
                 "[Association] class S_DiskLink : S_Link { S_Disk ref Owner; };\n"))
            .status,
        0);
    struct Case {
        std::string args;
        std::string golden;
    };
    const std::vector<Case> cases = {
        {"tree root/s", "small-namespace.txt"},
        {"tree root/s s_disk", "small-class.txt"},
        {"tree root/s S_Base --depth 1", "small-depth.txt"},
        {"tree root/s S_Event --format json", "small-event.json"},
        {"tree root/s --associations S_Fixed", "small-associations.txt"},
        {"tree root/s --associations S_Other --format json", "small-associations.json"},
    };
    for (const Case& c : cases) {
        const Ran r = repo(c.args);
        EXPECT_EQ(r.status, 0) << c.args << "\n" << r.output;
        expectGolden(c.golden, r.output);
    }
    // On a terminal the lines are drawn with box-drawing characters.
    const Ran onTerminal = run("script -qec \"" + std::string(MORROWLEN_REPO_TOOL) + " --repository " +
                               repository + " tree root/s S_Disk\" /dev/null");
    expectGolden("small-class-terminal.txt", onTerminal.output);
    for (const char* bad : {"tree", "tree root/s A B", "tree root/s --depth x", "tree root/s --format xml",
                            "tree root/s S_Base --associations S_Net"})
        EXPECT_EQ(repo(bad).status, 2) << bad;
    EXPECT_EQ(repo("tree root/s NoSuch").status, 1);
    EXPECT_EQ(repo("tree root/s --associations S_Event").status, 1) << "no association references it";
}

// The command lines as CLI11 reads them, in the tools' own words; show's JSON layout byte for byte.
TEST_F(Tools, CommandLinesKeepTheirSpellingsAndMessages) {
    ASSERT_EQ(
        mofcomp(file("c.mof", "[Description(\"A \\\"thing\\\".\")] class C_Thing {\n"
                              "  [Key, MaxLen(8)] string Name = \"n\"; real64 R = 1e20; uint8 V[] = {1, 2};\n"
                              "  uint32 Run([In] C_Thing REF T, [Out] string S[]); };"))
            .status,
        0);
    const std::string repoTool = std::string(MORROWLEN_REPO_TOOL) + " ";
    struct Case {
        std::string command; // "repo ARGS" runs with --repository first, "mofcomp ARGS" with it and a file
        int status;
        std::string output; // expected in what the tool prints
    };
    const std::vector<Case> cases = {
        {"repo show root/default C_Thing --format=json", 0, "\"name\": \"C_Thing\""},
        {"repo tree root/default --depth=0 --format=json", 0, "\"subclassCount\": 0"},
        {"repo find 'C_*' --namespace=root/default --property=n*", 0, "root\\default:C_Thing.Name\n"},
        {repoTool + "classes root/default --repository " + repository, 0, "C_Thing\n"},
        {repoTool + "--help", 0, "Usage: morrowlen-repo [--repository PATH] COMMAND [ARGUMENTS]\n"},
        {"repo", 2, "morrowlen-repo: no command given\nTry 'morrowlen-repo --help'.\n"},
        {"repo --colour show", 2, "unknown command '--colour'"},
        {"repo show root/default C_Thing -h", 2, "unknown option '-h' for 'show'"},
        {"repo find '*' --colour=red", 2, "unknown option '--colour=red' for 'find'"},
        {"repo find '*' --amended=yes", 2, "unknown option '--amended=yes' for 'find'"},
        {"repo classes root/default --format json", 2, "usage: morrowlen-repo classes NAMESPACE"},
        {"repo namespaces root", 2, "'namespaces' takes no arguments"},
        {"repo tree root/default --format", 2, "morrowlen-repo: --format needs a value\n"},
        {"repo --repository", 2, "--repository needs a path"},
        {"mofcomp -n:root/a", 0, "compiled 1 file"},
        {"mofcomp --namespace=root/b -CLASS:createonly", 0, "compiled 1 file"},
        {"mofcomp --bogus", 2,
         "morrowlen-mofcomp: unknown option '--bogus'\nTry 'morrowlen-mofcomp --help'.\n"},
        {"mofcomp --check=no", 2, "unknown option '--check=no'"},
        {"mofcomp --max-errors -3", 2, "--max-errors needs a positive number"},
    };
    const std::string other = file("o.mof", "class O_Thing { };");
    for (const Case& c : cases) {
        const Ran r = c.command.rfind("repo", 0) == 0      ? repo(c.command.substr(4))
                      : c.command.rfind("mofcomp", 0) == 0 ? mofcomp(c.command.substr(7) + " " + other)
                                                           : run(c.command);
        EXPECT_EQ(r.status, c.status) << c.command << "\n" << r.output;
        EXPECT_NE(r.output.find(c.output), std::string::npos) << c.command << "\n" << r.output;
    }
    EXPECT_NE(run(std::string(MORROWLEN_MOFCOMP) + " -I").output.find("-I needs a folder"),
              std::string::npos);
    expectGolden("show-thing.json", repo("show root/default C_Thing --format json").output);
}

TEST_F(Tools, TreeOfTheDmtfManagedElement) {
    const std::filesystem::path schema =
        std::filesystem::path(MORROWLEN_CORPORA_DIR) / "dmtf-cim-schema-2.49.0" / "cim_schema_2.49.0.mof";
    if (!std::filesystem::exists(schema)) GTEST_SKIP() << "the DMTF corpus is absent: " << schema;
    ASSERT_EQ(mofcomp("-N:root/dmtf " + schema.string()).status, 0);
    expectGolden("dmtf-managedelement-depth2.txt",
                 repo("tree root/dmtf CIM_ManagedElement --depth 2").output);
    const Ran associations = repo("tree root/dmtf --associations CIM_ComputerSystem");
    EXPECT_NE(associations.output.find("CIM_SystemDevice.GroupComponent (CIM_System)\n"), std::string::npos);
}

} // namespace
