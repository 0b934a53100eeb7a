#include "tools/SchemaDiff.h"
#include "tests/support/Golden.h"
#include "tests/support/TestRepository.h"
#include "tests/tools/ToolsSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sys/wait.h>

using namespace morrowlen;
using namespace morrowlen::test;

namespace {

tools::SchemaDiff diffMof(const std::string& a, const std::string& b) {
    const repo::ClassStore storeA = compileMof(a), storeB = compileMof(b);
    const repo::LocalRepository sourceA(storeA), sourceB(storeB);
    return tools::compareSchemas(tools::readSchema(sourceA, TestNamespace, false, "A"),
                                 tools::readSchema(sourceB, TestNamespace, false, "B"));
}

struct Case {
    const char* what;
    const char* a;
    const char* b;
    const char* expected; // the text form
};

const Case Cases[] = {
    {"class added", "class A {};", "class A {}; class B {};", "+ class B\n"},
    {"class removed", "class A {}; class B {};", "class A {};", "- class B\n"},
    {"superclass", "class P {}; class Q {}; class C : P {};", "class P {}; class Q {}; class C : Q {};",
     "~ C: superclass: P -> Q\n"},
    {"class qualifiers", "[Description(\"old\"), Abstract] class C {};",
     "[Description(\"new\"), Version(\"2\")] class C {};",
     "~ C: qualifier Abstract removed (was TRUE)\n~ C: qualifier Description: \"old\" -> \"new\"\n"
     "~ C: qualifier Version added: \"2\"\n"},
    {"properties added and removed", "class C { string Old; };", "class C { uint8 New; };",
     "~ C.New: property added: uint8\n~ C.Old: property removed (was string)\n"},
    {"type, array, default", "class C { uint32 N = 1; string S; };", "class C { uint64 N = 2; string S[]; };",
     "~ C.N: type: uint32 -> uint64\n~ C.N: default: 1 -> 2\n~ C.S: array: false -> true\n"},
    {"reference class", "class P {}; class Q {}; [Association] class L { P REF R; };",
     "class P {}; class Q {}; [Association] class L { Q REF R; };", "~ L.R: reference class: P -> Q\n"},
    {"MaxLen, Key, ValueMap and Values",
     "class C { [Key, MaxLen(10)] string K; [ValueMap{\"0\"}, Values{\"Off\"}] uint8 V; };",
     "class C { [MaxLen(20)] string K; [ValueMap{\"0\", \"1\"}, Values{\"Off\", \"On\"}] uint8 V; };",
     "~ C.K: qualifier Key removed (was TRUE)\n~ C.K: qualifier MaxLen: 10 -> 20\n"
     "~ C.V: qualifier ValueMap: {\"0\"} -> {\"0\", \"1\"}\n~ C.V: qualifier Values: {\"Off\"} -> {\"Off\", "
     "\"On\"}\n"},
    {"methods", "class C { uint32 Gone(); uint32 Run(); };",
     "class C { string Run(); [Static] void Made(); };",
     "~ C.Gone(): method removed (was uint32)\n~ C.Made(): method added: void\n~ C.Run(): return type: "
     "uint32 -> string\n"},
    {"parameters", "class C { uint32 Run([In] uint32 A, [In] string B); };",
     "class C { uint32 Run([In] uint64 A, [In, Out] string B, [In] boolean New); };",
     "~ C.Run(A): type: uint32 -> uint64\n~ C.Run(B): qualifier Out added: TRUE\n~ C.Run(New): parameter "
     "added: boolean\n"},
    {"case and order are no differences",
     "[Abstract, Description(\"d\")] class Cls { string A; [Key, MaxLen(4)] string B; };",
     "[description(\"d\"), abstract] class CLS { [maxlen(4), KEY] string b; string a; };", ""},
    {"a change is reported where it is made", "class P { uint32 X; }; class C : P {}; class D : C {};",
     "class P { uint64 X; }; class C : P {}; class D : C {};", "~ P.X: type: uint32 -> uint64\n"},
    {"an override added in a subclass", "class P { string X; }; class C : P {};",
     "class P { string X; }; class C : P { [MaxLen(8)] string X; };", "~ C.X: qualifier MaxLen added: 8\n"},
};

TEST(SchemaDiff, EachKindOfDifference) {
    for (const Case& c : Cases) {
        const tools::SchemaDiff diff = diffMof(c.a, c.b);
        EXPECT_EQ(tools::formatDiffText(diff), c.expected) << c.what;
        EXPECT_EQ(diff.equal(), std::string(c.expected).empty()) << c.what;
    }
}

TEST(SchemaDiff, JsonShape) {
    const auto j = nlohmann::json::parse(tools::formatDiffJson(diffMof(
        "class A {}; class C { [MaxLen(1)] string P; };", "class B {}; class C { [MaxLen(2)] string P; };")));
    EXPECT_EQ(j["a"], "A");
    EXPECT_EQ(j["equal"], false);
    EXPECT_EQ(j["added"], nlohmann::json::array({"B"}));
    EXPECT_EQ(j["removed"], nlohmann::json::array({"A"}));
    EXPECT_EQ(j["changed"], nlohmann::json::parse(R"([{"class": "C", "differences": [
        {"kind": "qualifierChanged", "property": "P", "qualifier": "MaxLen", "before": "1", "after": "2"}]}])"));
}

// The command's exit status: 0 equal, 1 different, 2 trouble; MOF files and a folder as operands.
TEST(SchemaDiff, CommandExitStatus) {
    TempDir tmp;
    writeFile(tmp / "a.mof", "class C { string P; };");
    writeFile(tmp / "b.mof", "class C { uint8 P; };");
    writeFile(tmp / "dir/c.mof", "class C { string P; };");
    const std::string tool =
        std::string(MORROWLEN_REPO_TOOL) + " --repository " + (tmp / "repo.sqlite").string() + " diff ";
    const auto status = [&](const std::string& args) {
        const int s = std::system((tool + args + " >/dev/null 2>&1").c_str());
        return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    };
    EXPECT_EQ(status((tmp / "a.mof").string() + " " + (tmp / "dir").string() + "/"), 0);
    EXPECT_EQ(status((tmp / "a.mof").string() + " " + (tmp / "b.mof").string() + " --format json"), 1);
    EXPECT_EQ(status((tmp / "a.mof").string() + " " + (tmp / "missing.mof").string()), 2);
    EXPECT_EQ(status((tmp / "a.mof").string()), 2);
}

TEST(SchemaDiffDmtf, SchemaAgainstItselfIsEmpty) {
    const repo::ClassStore* dmtf = dmtfSchema();
    if (!dmtf) GTEST_SKIP() << "the DMTF corpus is absent from " << MORROWLEN_CORPORA_DIR;
    const repo::LocalRepository source(*dmtf);
    const tools::Schema schema = tools::readSchema(source, "root\\cimv2", false, "dmtf");
    EXPECT_EQ(schema.classes.size(), 1631u);
    EXPECT_EQ(tools::formatDiffText(
                  tools::compareSchemas(schema, tools::readSchema(source, "root\\cimv2", false, "again"))),
              "");
}

} // namespace
