// The compiler's semantics, checked field by field in the store it writes.
#include "repository/file/RepositoryFile.h"
#include "repository/model/ClassModel.h"
#include "tests/mof/MofTestSupport.h"
#include "tests/support/TestRepository.h"

#include <gtest/gtest.h>

using namespace morrowlen;
using namespace morrowlen::repo;
using test::compileText;

namespace {

class CompilerTest : public ::testing::Test {
  protected:
    ClassStore store = repo::createInMemoryRepository();

    test::Compiled ok(const std::string& text, mof::CompileOptions options = {}) {
        test::Compiled c = compileText(store, text, std::move(options));
        EXPECT_EQ(c.status, mof::CompileStatus::Success) << c.diagnostics;
        return c;
    }
    test::Compiled fails(const std::string& text, const std::string& fragment,
                         mof::CompileOptions options = {}) {
        test::Compiled c = compileText(store, text, std::move(options));
        EXPECT_NE(c.status, mof::CompileStatus::Success);
        EXPECT_NE(c.diagnostics.find(fragment), std::string::npos) << c.diagnostics;
        return c;
    }
    NamespaceId ns(const std::string& path = "root\\default") {
        auto id = store.findNamespace(path);
        EXPECT_TRUE(id) << path;
        return id.value_or(0);
    }
    ClassDef cls(const std::string& name, const std::string& path = "root\\default") {
        auto c = store.getClass(ns(path), name);
        EXPECT_TRUE(c) << name;
        return c.value_or(ClassDef{});
    }
};

TEST_F(CompilerTest, PropertiesKeepOrderTypesAndDefaults) {
    ok(R"(
        class Sample_Base { [Key] string Name; };
        class Sample : Sample_Base {
            uint8 Small = 0xFF;
            sint16 Negative = -0x10;
            sint8 Pattern = 0x80;
            uint32 Binary = 1000001B;
            sint64 Octal = -017;
            real32 Third = 0.1;
            real64 Half = .5;
            char16 Letter = '\x41';
            string Text = "tab\there" " and \"more\"";
            boolean Flag = true;
            datetime When = "20240102030405.000000+060";
            string Nothing = NULL;
            uint16 List[] = {1, 2, 3};
            string Empty[] = {};
            uint8 Fixed[4];
            Sample_Base REF Parent;
            Sample_Base Embedded;
            object Anything;
            [EmbeddedInstance("Sample_Base")] string AsText;
        };)");
    const ClassDef c = cls("Sample");
    EXPECT_EQ(c.superclass, "Sample_Base");
    ASSERT_EQ(c.properties.size(), 19u);
    const auto& p = c.properties;
    EXPECT_EQ(p[0].name, "Small");
    EXPECT_EQ(p[0].type, CimType::UInt8);
    EXPECT_EQ(p[0].defaultValue, Value::uint(255));
    EXPECT_EQ(p[1].defaultValue, Value::sint(-16));
    EXPECT_EQ(p[2].defaultValue, Value::sint(-128)) << "a hexadecimal constant gives the bit pattern";
    EXPECT_EQ(p[3].defaultValue, Value::uint(65));
    EXPECT_EQ(p[4].defaultValue, Value::sint(-15));
    EXPECT_EQ(p[5].defaultValue, Value::real(static_cast<double>(0.1f))) << "real32 holds float precision";
    EXPECT_EQ(p[6].defaultValue, Value::real(0.5));
    EXPECT_EQ(p[7].type, CimType::Char16);
    EXPECT_EQ(p[7].defaultValue, Value::uint('A'));
    EXPECT_EQ(p[8].defaultValue, Value::string("tab\there and \"more\""));
    EXPECT_EQ(p[9].defaultValue, Value::boolean(true));
    EXPECT_EQ(p[10].type, CimType::DateTime);
    ASSERT_TRUE(p[11].defaultValue.has_value());
    EXPECT_TRUE(p[11].defaultValue->isNull()) << "NULL is a given default, unlike no default";
    EXPECT_EQ(p[12].defaultValue, Value::array({std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{3}}));
    EXPECT_TRUE(p[12].isArray);
    EXPECT_EQ(p[13].defaultValue, Value::array({}));
    EXPECT_FALSE(p[14].defaultValue.has_value());
    EXPECT_EQ(p[14].arraySize, 4);
    EXPECT_EQ(p[15].type, CimType::Reference);
    EXPECT_EQ(p[15].refClass, "Sample_Base");
    EXPECT_EQ(p[16].type, CimType::Object);
    EXPECT_EQ(p[16].refClass, "Sample_Base");
    EXPECT_EQ(p[17].type, CimType::Object);
    EXPECT_TRUE(p[17].refClass.empty());
    EXPECT_EQ(p[18].type, CimType::Object) << "EmbeddedInstance makes the string an object";
    EXPECT_EQ(p[18].refClass, "Sample_Base");
}

TEST_F(CompilerTest, MethodsWithParametersAndTheirQualifiers) {
    ok(R"(
        class Sample {
            [Static] uint32 Create([In] string Path, [In, Out] uint32 Codes[], [Out] Sample REF Made);
            string Describe();
        };)");
    const ClassDef c = cls("Sample");
    ASSERT_EQ(c.methods.size(), 2u);
    const MethodDef& m = c.methods[0];
    EXPECT_EQ(m.returnType, CimType::UInt32);
    ASSERT_EQ(m.parameters.size(), 3u);
    EXPECT_EQ(m.parameters[1].name, "Codes");
    EXPECT_TRUE(m.parameters[1].isArray);
    EXPECT_EQ(m.parameters[1].qualifiers.size(), 2u);
    EXPECT_EQ(m.parameters[2].type, CimType::Reference);
    EXPECT_EQ(m.parameters[2].refClass, "Sample") << "a class may refer to itself";
    EXPECT_EQ(c.methods[1].returnType, CimType::String);
}

TEST_F(CompilerTest, DeclaredQualifiersTakeTypeAndFlavorsFromTheDeclaration) {
    ok(R"(
        Qualifier MaxLen : uint32 = null, Scope(property, method, parameter);
        Qualifier Key : boolean = false, Scope(property, reference), Flavor(DisableOverride, ToSubclass);
        Qualifier Values : string[], Scope(property), Flavor(EnableOverride, ToSubclass, Translatable);
        Qualifier Abstract : boolean = false, Scope(class, association, indication), Flavor(Restricted);
        [Abstract] class Sample {
            [Key, MaxLen(64), Values("only")] string Name;
            [MaxLen(8) : DisableOverride Restricted] string Code;
        };)");
    const ClassDef c = cls("Sample");
    const Qualifier* abstract = findQualifier(c.qualifiers, "Abstract");
    ASSERT_TRUE(abstract);
    EXPECT_EQ(abstract->flavors, 0u) << "Restricted, EnableOverride";
    const auto& name = c.properties[0].qualifiers;
    ASSERT_EQ(name.size(), 3u);
    EXPECT_EQ(name[0].value, Value::boolean(true)) << "a boolean qualifier without value is true";
    EXPECT_EQ(name[0].flavors, flavor::ToSubclass | flavor::DisableOverride);
    EXPECT_EQ(name[1].type, CimType::UInt32);
    EXPECT_EQ(name[1].value, Value::uint(64));
    EXPECT_TRUE(name[2].isArray);
    EXPECT_EQ(name[2].value, Value::array({std::string("only")})) << "Q(x) for an array qualifier";
    EXPECT_EQ(name[2].flavors, flavor::ToSubclass | flavor::Translatable);
    const auto& code = c.properties[1].qualifiers;
    EXPECT_EQ(code[0].flavors, flavor::DisableOverride) << "written flavors override the declared ones";
    EXPECT_EQ(store.qualifierDecls(ns()).size(), 4u);
}

TEST_F(CompilerTest, UndeclaredQualifiersTakeTheirTypeFromTheValue) {
    ok(R"(
        [Dynamic, Provider("p"), Count(3), Big(4294967296), Ratio(0.5), Ids{1, 2}, Letter('c'), Nothing(NULL)]
        class Sample { };)");
    const auto& q = cls("Sample").qualifiers;
    ASSERT_EQ(q.size(), 8u);
    const std::pair<CimType, bool> expected[] = {{CimType::Boolean, false}, {CimType::String, false},
                                                 {CimType::SInt32, false},  {CimType::SInt64, false},
                                                 {CimType::Real64, false},  {CimType::SInt32, true},
                                                 {CimType::Char16, false},  {CimType::String, false}};
    for (std::size_t i = 0; i < q.size(); ++i) {
        EXPECT_EQ(q[i].type, expected[i].first) << q[i].name;
        EXPECT_EQ(q[i].isArray, expected[i].second) << q[i].name;
        EXPECT_EQ(q[i].flavors, flavor::Default) << q[i].name;
    }
    EXPECT_TRUE(q[7].value.isNull());
}

TEST_F(CompilerTest, StrictModeRefusesUndeclaredQualifiers) {
    mof::CompileOptions strict;
    strict.strictQualifiers = true;
    fails("class X { [nokey] string key; };", "qualifier 'nokey' is not declared", strict);
}

TEST_F(CompilerTest, FlavorOnlyDeclarationAppliesToTheRestOfItsFileOnly) {
    test::TempDir dir;
    test::writeFile(dir / "main.mof", "[Description(\"before\")] class A { };\n"
                                      "Qualifier Description : ToSubclass Amended;\n"
                                      "[Description(\"after\")] class B { };\n"
                                      "#pragma include(\"other.mof\")\n");
    test::writeFile(dir / "other.mof", "[Description(\"elsewhere\")] class C { };\n");
    const auto c = test::compileFile(store, dir / "main.mof");
    ASSERT_EQ(c.status, mof::CompileStatus::Success) << c.diagnostics;
    EXPECT_EQ(findQualifier(cls("A").qualifiers, "Description")->flavors, flavor::Default);
    EXPECT_EQ(findQualifier(cls("B").qualifiers, "Description")->flavors,
              flavor::ToSubclass | flavor::Amended);
    EXPECT_EQ(findQualifier(cls("C").qualifiers, "Description")->flavors, flavor::Default);
}

TEST_F(CompilerTest, AmendmentsLiveInTheLocalisedNamespaceAndMergeOnRequest) {
    ok(R"(
        #pragma namespace("\\\\.\\root")
        instance of __Namespace { Name = "cimv2"; };
        #pragma namespace("\\\\.\\root\\cimv2")
        instance of __Namespace { Name = "ms_409"; };
        class Sample_Disk { string Label; uint32 Size; };
        #pragma namespace("\\\\.\\root\\cimv2\\ms_409")
        Qualifier Description : ToSubclass Amended;
        [AMENDMENT, LOCALE(0x409), Description("A disk.")]
        class Sample_Disk {
            [Description("Its label.")] string Label;
        };)");
    const ClassDef amendment = cls("Sample_Disk", "root\\cimv2\\ms_409");
    EXPECT_TRUE(amendment.superclass.empty());
    ASSERT_EQ(amendment.properties.size(), 1u);
    EXPECT_EQ(amendment.properties[0].qualifiers[0].flavors, flavor::ToSubclass | flavor::Amended);
    EXPECT_EQ(findQualifier(amendment.qualifiers, "LOCALE")->value, Value::sint(0x409));

    ClassModel model(store);
    const NamespaceId cimv2 = ns("root\\cimv2");
    EXPECT_TRUE(model.getClass(cimv2, "Sample_Disk").qualifiers.empty());
    const ResolvedClass merged = model.getClass(cimv2, "Sample_Disk", UseAmendedQualifiers);
    ASSERT_TRUE(merged.property("Label")->qualifier("Description"));
    EXPECT_EQ(merged.property("Label")->qualifier("Description")->value, Value::string("Its label."));
}

TEST_F(CompilerTest, NamespacePragmaForms) {
    const std::pair<const char*, const char*> forms[] = {{R"(\\\\.\\root\\a)", "root\\a"},
                                                         {"//./root/b", "root\\b"},
                                                         {R"(\\root\\c)", "root\\c"},
                                                         {"root/d/e", "root\\d\\e"},
                                                         {R"(\\\\localhost\\ROOT\\f)", "root\\f"}};
    for (const auto& [written, path] : forms) {
        ok(std::string("#pragma namespace(\"") + written + "\")\nclass Sample_In { };");
        EXPECT_TRUE(store.findNamespace(path).has_value()) << written;
        EXPECT_TRUE(store.hasClass(ns(path), "Sample_In")) << written;
    }
    ok("#pragma namespace(\"root/g\")\n#pragma namespace(\"h\")\nclass Sample_Rel { };");
    EXPECT_TRUE(store.hasClass(ns("root\\g\\h"), "Sample_Rel")) << "relative to the current namespace";
    fails("#pragma namespace(\"\\\\\\\\far\\\\root\")", "other computers");
    fails("#pragma namespace(\"/other\")", "start at 'root'");
}

TEST_F(CompilerTest, AMissingNamespaceIsCreatedWithAWarningOrRefusedWhenStrict) {
    const std::string mof = "#pragma namespace(\"root/cimv3/x\")\nclass Sample_M { };";
    const test::Compiled created = ok(mof);
    EXPECT_NE(
        created.diagnostics.find("warning: namespace 'root\\cimv3\\x' does not exist; the nearest existing "
                                 "one is 'root'; it is created"),
        std::string::npos)
        << created.diagnostics;
    EXPECT_TRUE(store.hasClass(ns("root\\cimv3\\x"), "Sample_M"));
    EXPECT_EQ(ok(mof).diagnostics, "") << "it exists now";
    mof::CompileOptions strict;
    strict.strictNamespaces = true;
    fails("#pragma namespace(\"root/cimv3/y\")", "nearest existing one is 'root\\cimv3'", strict);
}

TEST_F(CompilerTest, NamespaceNamesThatCannotBeUsed) {
    const std::pair<const char*, const char*> names[] = {
        {"", "empty or blank"},           {" \t", "empty or blank"},
        {".", "is not a namespace name"}, {"..", "is not a namespace name"},
        {"a\\nb", "control character"},   {"a\\x1b[2J", "control character"},
        {"a/b", "cannot hold"},
    };
    for (const auto& [name, problem] : names) {
        fails(std::string("instance of __Namespace { Name = \"") + name + "\"; };", problem);
        if (*name && std::string(name).find('/') == std::string::npos)
            fails(std::string("#pragma namespace(\"root/") + name + "\")", problem);
    }
    for (const auto& [id, name] : store.childNamespaces(store.rootNamespace()))
        EXPECT_EQ(name, "default");
}

TEST_F(CompilerTest, DefaultNamespaceComesFromTheOptions) {
    mof::CompileOptions options;
    options.defaultNamespace = "root\\custom";
    ok("class Sample { };", options);
    EXPECT_TRUE(store.hasClass(ns("root\\custom"), "Sample"));
}

TEST_F(CompilerTest, NamespaceInstanceCreatesAChildOfTheCurrentNamespace) {
    ok("#pragma namespace(\"root\")\ninstance of __NAMESPACE { Name = \"Child\"; };\n"
       "#pragma namespace(\"root/child\")\ninstance of __Namespace { Name = \"Grandchild\"; };");
    const auto child = store.findChild(store.rootNamespace(), "child");
    ASSERT_TRUE(child);
    EXPECT_EQ(store.namespaceName(*child), "Child") << "kept as first written";
    EXPECT_TRUE(store.findChild(*child, "Grandchild"));
    EXPECT_TRUE(store.instancesOf(*child, "__NAMESPACE").empty()) << "the tree itself holds them";
}

TEST_F(CompilerTest, RestrictPragmaSetsTheNamespaceAccess) {
    ok("#pragma namespace(\"root/open\")\nclass A { };\n"
       "#pragma namespace(\"root/secret\")\n#pragma restrict(\"alice, @wheel\")\n"
       "#pragma namespace(\"root/admins\")\n#pragma restrict(\"\")");
    EXPECT_FALSE(store.namespaceAccess(ns("root\\open")).has_value());
    EXPECT_EQ(store.namespaceAccess(ns("root\\secret")), (std::vector<std::string>{"alice", "@wheel"}));
    EXPECT_EQ(store.namespaceAccess(ns("root\\admins")), std::vector<std::string>{});
}

TEST_F(CompilerTest, SuperclassesComeFromTheNamespaceThenTheSystemClasses) {
    ok("class Sample_Consumer : __EventConsumer { [Key] string Name; };");
    ClassModel model(store);
    const ResolvedClass r = model.getClass(ns(), "Sample_Consumer");
    EXPECT_TRUE(r.property("MachineName")) << "inherited from the system class";
    fails("#pragma namespace(\"root/other\")\nclass B : Sample_Consumer { };",
          "unknown superclass 'Sample_Consumer'");
}

TEST_F(CompilerTest, ClassFlagsAgainstTheRepository) {
    ok("class Sample_A { string X; };\nclass Sample_B : Sample_A { };");
    fails("#pragma classflags(\"createonly\")\nclass Sample_A { string X; };", "already exists");
    fails("#pragma classflags(\"updateonly\")\nclass Sample_New { };", "does not exist");
    ok("#pragma classflags(\"updateonly\")\nclass Sample_A { string X; string Y; };");
    EXPECT_EQ(cls("Sample_A").properties.size(), 2u);
    fails("class Sample_A { string Y; };", "would conflict with its subclass 'Sample_B'");
    fails("#pragma classflags(\"safeupdate\")\nclass Sample_A { };", "property 'X' is removed");
    ok("#pragma classflags(\"forceupdate\")\nclass Sample_A { string Y; };");
    EXPECT_EQ(cls("Sample_A").properties.size(), 1u);
    mof::CompileOptions createOnly;
    createOnly.classFlags = mof::classflags::CreateOnly;
    fails("class Sample_B : Sample_A { };", "already exists", createOnly);
    fails("#pragma classflags(64)\nclass Sample_A : Sample_B { };", "would be its own superclass");
    // The stored names are read once per namespace: any case finds them, and a deleted class is gone.
    fails("class SAMPLE_b : Sample_A { };", "already exists", createOnly);
    ok("class Sample_C { };\n#pragma deleteclass(\"Sample_B\", FAIL)\nclass Sample_B : Sample_A { };",
       createOnly);
    fails("#pragma deleteclass(\"Sample_C\", FAIL)\nclass Sample_B : Sample_A { };", "already exists",
          createOnly);
}

// Found by fuzzing: a refused superclass once stayed in the cache and made the next lookup loop.
TEST_F(CompilerTest, ARefusedSelfSuperclassCannotMakeLookupsLoop) {
    ok("class Sample_G { };");
    fails("class Sample_G : Sample_G { };\nclass Sample_H : Sample_G { };\n"
          "[Amendment] class Sample_I : Sample_I { };\nclass Sample_J : Sample_I { };",
          "would be its own superclass");
}

TEST_F(CompilerTest, AClassTwiceInOneCompileNeedsAnUpdateFlag) {
    const auto c = fails("class Sample { };\nclass Sample { };", "defined twice");
    EXPECT_NE(c.diagnostics.find("note: first defined here"), std::string::npos);
    ok("class Sample_T { };\n#pragma classflags(\"forceupdate\")\nclass Sample_T { uint8 X; };");
    EXPECT_EQ(cls("Sample_T").properties.size(), 1u);
}

TEST_F(CompilerTest, DeleteClassRemovesItsSubclassesAndInstancesToo) {
    std::string tree = "class A { [Key] uint32 K; };\nclass B : A { };\nclass C : B { };\nclass D { };\n"
                       "instance of A { K = 1; };\ninstance of C { K = 2; };\n";
    for (int i = 0; i < 2000; ++i)
        tree += "class W" + std::to_string(i) + " : C { };\n";
    ok(tree);
    const test::Compiled deleted =
        ok("#pragma deleteclass(\"A\", FAIL)\n#pragma deleteclass(\"Missing\", NOFAIL)");
    EXPECT_EQ(store.classNames(ns()), std::vector<std::string>{"D"});
    EXPECT_EQ(deleted.stats.deletedClasses, 2003u);
    EXPECT_EQ(deleted.stats.deletedInstances, 2u);
    // A new class of the name does not inherit the old one's instances.
    ok("class A { [Key] uint32 K; };\nclass C : A { };");
    EXPECT_TRUE(store.instancesOf(ns(), "A").empty());
    EXPECT_TRUE(store.instancesOf(ns(), "C").empty());
    fails("#pragma deleteclass(\"Missing\", FAIL)", "no such class");
}

TEST_F(CompilerTest, AnInstanceCompiledAgainWithItsKeysReplacesTheStoredOne) {
    ok("class A { [Key] uint32 K; string V; };\ninstance of A { K = 1; V = \"old\"; };");
    ok("instance of A { K = 1; V = \"new\"; };\ninstance of A { K = 2; };");
    const auto stored = store.instancesOf(ns(), "A");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].properties[1].value, Value::string("new"));
}

// A check does not store the classes it compiles; it must still see them as a compile would.
TEST_F(CompilerTest, ACheckThatStoresNoClassesSeesThemAsACompileWould) {
    ok("class Stored { };");
    mof::CompileOptions check;
    check.writeClasses = false;
    ok("class A : Stored { };\nclass B : A { };\n#pragma classflags(\"forceupdate\")\nclass A : Stored { };",
       check);
    EXPECT_EQ(store.classNames(ns()), std::vector<std::string>{"Stored"});
    fails("class C { };\nclass C { };", "defined twice", check);
    fails("class A : Stored { };\nclass B : A { };\n#pragma deleteclass(\"Stored\", FAIL)\nclass E : B { };",
          "unknown superclass 'B'", check);
}

TEST_F(CompilerTest, InstancesWithAliasesBecomeObjectPaths) {
    ok(R"(
        class Sample_Item { [Key] string Name; [Key] uint32 Number; boolean Ready; };
        [Association] class Sample_Link { [Key] Sample_Item REF Left; [Key] Sample_Item REF Right; };
        class Sample_Bag { Sample_Item REF Items[]; };
        instance of Sample_Item as $A { Name = "a \"q\""; Number = 1; Ready = TRUE; };
        instance of Sample_Item as $B { Name = "b"; Number = 2; };
        instance of Sample_Link { Left = $A; Right = "Sample_Item.Name=\"x\",Number=9"; };
        instance of Sample_Bag { Items = {$A, $B}; };)");
    const auto items = store.instancesOf(ns(), "Sample_Item");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].properties[1].value, Value::uint(1));
    const auto links = store.instancesOf(ns(), "Sample_Link");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].properties[0].value, Value::string("Sample_Item.Name=\"a \\\"q\\\"\",Number=1"));
    const auto bags = store.instancesOf(ns(), "Sample_Bag");
    ASSERT_EQ(bags.size(), 1u);
    EXPECT_EQ(bags[0].properties[0].value.items().size(), 2u);
}

TEST_F(CompilerTest, GuessesAndLongLinesInDiagnostics) {
    const test::Compiled latin = ok("class A { };\n// caf\xE9\nclass B { };");
    EXPECT_NE(
        latin.diagnostics.find("test.mof:2:7: warning: the file is not valid UTF-8 (byte 0xE9 here); it is "
                               "read as Windows-1252"),
        std::string::npos)
        << latin.diagnostics;
    // A long line is shown around the column only; control characters are escaped in the echo.
    const test::Compiled wide =
        fails("class C { };" + std::string(1000000, ' ') + "\x1b[2J class D {", "expected");
    EXPECT_LT(wide.diagnostics.size(), 3 * 400u) << "three diagnostics";
    EXPECT_NE(wide.diagnostics.find("    \\x1B[2J class D {\n"), std::string::npos) << wide.diagnostics;
    EXPECT_EQ(wide.diagnostics.find('\x1b'), std::string::npos);
}

TEST_F(CompilerTest, IncludesResolveRelativelyWithBackslashesAndAnyCase) {
    test::TempDir dir;
    test::writeFile(dir / "top.mof", "#pragma include(\"Sub\\\\Part.MOF\")\n#pragma include(\"lib.mof\")\n");
    test::writeFile(dir / "sub" / "part.mof", "class Sample_Part { };\n#pragma include(\"near.mof\")\n");
    test::writeFile(dir / "sub" / "near.mof", "class Sample_Near { };\n");
    test::writeFile(dir / "inc" / "lib.mof", "class Sample_Lib { };\n");
    mof::CompileOptions options;
    options.includeDirs = {(dir / "inc").string()};
    const auto c = test::compileFile(store, dir / "top.mof", options);
    ASSERT_EQ(c.status, mof::CompileStatus::Success) << c.diagnostics;
    for (const char* name : {"Sample_Part", "Sample_Near", "Sample_Lib"})
        EXPECT_TRUE(store.hasClass(ns(), name));
}

TEST_F(CompilerTest, DiagnosticsShowLinesOfFilesAlreadyDone) {
    // The text of an included file is freed when it is done and read again for a later message.
    test::TempDir dir;
    test::writeFile(dir / "top.mof", "#pragma include(\"early.mof\")\nclass Sample_Twice { };\n");
    test::writeFile(dir / "early.mof", "class Sample_Twice {\r\n  Sample_Nowhere REF Far; };\n");
    const auto c = test::compileFile(store, dir / "top.mof");
    EXPECT_EQ(c.status, mof::CompileStatus::SemanticError);
    for (const char* shown : {"early.mof:1:7: note: first defined here\nclass Sample_Twice {\n",
                              "early.mof:2:3: warning: reference to class 'Sample_Nowhere'",
                              "  Sample_Nowhere REF Far; };\n  ^~~~~~~~~~~~~~"})
        EXPECT_NE(c.diagnostics.find(shown), std::string::npos) << shown << "\n" << c.diagnostics;
}

TEST_F(CompilerTest, LargeFilesReadInPlaceOrDecodedShowTheSameMessages) {
    // Past a megabyte a plain UTF-8 file is read through a mapping whose pages are given back as the
    // compile goes; one with CR line ends is decoded as any file. Both show every line anew.
    for (const std::string lineEnd : {"\n", "\r\n"}) {
        test::TempDir dir;
        std::string text = "class Sample_First {" + lineEnd + "  string Name; };" + lineEnd;
        for (int i = 0; i < 40000; ++i)
            text += "// filler, so that the compile gives pages back before it ends" + lineEnd;
        text += "class Sample_First { };" + lineEnd;
        test::writeFile(dir / "big.mof", text);
        const auto c = test::compileFile(store, dir / "big.mof");
        EXPECT_EQ(c.status, mof::CompileStatus::SemanticError);
        for (const char* shown : {"big.mof:40003:7: error: class 'Sample_First' is defined twice",
                                  "big.mof:1:7: note: first defined here\nclass Sample_First {\n"})
            EXPECT_NE(c.diagnostics.find(shown), std::string::npos) << shown << "\n" << c.diagnostics;
    }
}

TEST_F(CompilerTest, IncludeCyclesAndDepthAreBounded) {
    test::TempDir dir;
    test::writeFile(dir / "a.mof", "#pragma include(\"b.mof\")\n");
    test::writeFile(dir / "b.mof", "#pragma include(\"a.mof\")\n");
    auto c = test::compileFile(store, dir / "a.mof");
    EXPECT_NE(c.diagnostics.find("includes itself"), std::string::npos) << c.diagnostics;

    // A chain of distinct files just over the limit.
    for (std::size_t i = 0; i <= mof::limits::MaxIncludeDepth; ++i)
        test::writeFile(dir / ("d" + std::to_string(i) + ".mof"),
                        "#pragma include(\"d" + std::to_string(i + 1) + ".mof\")\n");
    test::writeFile(dir / ("d" + std::to_string(mof::limits::MaxIncludeDepth + 1) + ".mof"),
                    "class Deep { };");
    c = test::compileFile(store, dir / "d0.mof");
    EXPECT_NE(c.diagnostics.find("nested more than"), std::string::npos) << c.diagnostics;
    EXPECT_FALSE(store.hasClass(store.rootNamespace(), "Deep"));
}

TEST_F(CompilerTest, NothingIsWrittenUnlessTheWholeCompileSucceeds) {
    test::TempDir dir;
    const std::string path = (dir / "repo.sqlite").string();
    {
        ClassStore file = repo::openOrCreateRepository(path, repo::NewRepository::SystemClassesOnly);
        ASSERT_EQ(compileText(file, "class Sample_Kept { };").status, mof::CompileStatus::Success);
    }
    const std::string before = test::readFile(path);
    {
        ClassStore file = repo::openOrCreateRepository(path, repo::NewRepository::SystemClassesOnly);
        const auto c = compileText(file, "#pragma namespace(\"root/new\")\n"
                                         "Qualifier Q : string, Scope(any);\n"
                                         "class Sample_Good { };\ninstance of Sample_Good { };\n"
                                         "class Sample_Bad : Missing { };\n");
        EXPECT_EQ(c.status, mof::CompileStatus::SemanticError);
        EXPECT_FALSE(file.findNamespace("root\\new"));
    }
    EXPECT_EQ(test::readFile(path), before) << "the repository file is unchanged";
}

TEST_F(CompilerTest, ExitStatusPrefersSyntaxErrors) {
    EXPECT_EQ(compileText(store, "class A : Missing { };").status, mof::CompileStatus::SemanticError);
    EXPECT_EQ(compileText(store, "class A : Missing { };\nclass ;").status, mof::CompileStatus::SyntaxError);
    EXPECT_EQ(compileText(store, "#pragma whatever").status, mof::CompileStatus::Success) << "a warning only";
}

TEST_F(CompilerTest, ErrorsAreCappedButCounted) {
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += "class C" + std::to_string(i) + " : Missing { };\n";
    mof::CompileOptions options;
    options.maxErrors = 5;
    mof::Compiler compiler(store, options);
    EXPECT_EQ(compiler.compileText("many.mof", text), mof::CompileStatus::SemanticError);
    EXPECT_EQ(compiler.diagnostics().all().size(), 5u);
    EXPECT_NE(compiler.diagnostics().formatAll().find("too many errors"), std::string::npos);
}

TEST_F(CompilerTest, MissingFileIsAnInputError) {
    mof::Compiler compiler(store);
    EXPECT_EQ(compiler.compileFiles({"/nonexistent/x.mof"}), mof::CompileStatus::SemanticError);
    EXPECT_NE(compiler.diagnostics().formatAll().find("cannot read '/nonexistent/x.mof'"), std::string::npos);
}

TEST_F(CompilerTest, InheritedPropertiesMustKeepTheirType) {
    ok("class A { uint32 X; uint32 Run(); };");
    fails("class B : A { string X; };", "redeclared as string");
    ok("class C : A { uint32 Run; };"); // properties and methods are looked up apart
    fails("class E : A { uint32 X(); };", "name of an inherited property");
    ok("class D : A { [Override(\"X\")] uint32 X = 5; };");
}

TEST(SystemClasses, InstallTheClassesEveryNamespaceShares) {
    ClassStore store = repo::createInMemoryRepository();
    const NamespaceId sys = store.systemNamespace();
    for (const char* name : {"__SystemClass", "__NAMESPACE", "__Provider", "__Win32Provider", "__EventFilter",
                             "__EventConsumer", "__FilterToConsumerBinding", "__InstanceModificationEvent",
                             "__IntervalTimerInstruction", "__SecurityDescriptor", "__CIMOMIdentification",
                             "__ObjectProviderCacheControl", "__EventQueueOverflowEvent"})
        EXPECT_TRUE(store.hasClass(sys, name)) << name;
    ClassModel model(store);
    const ResolvedClass binding = model.getClass(store.rootNamespace(), "__FilterToConsumerBinding");
    ASSERT_TRUE(binding.property("Consumer"));
    EXPECT_EQ(binding.property("Consumer")->type, CimType::Reference);
    EXPECT_TRUE(binding.property("Consumer")->qualifier("Key"));
    const ResolvedClass modification = model.getClass(store.rootNamespace(), "__InstanceModificationEvent");
    EXPECT_EQ(modification.derivation, (std::vector<std::string>{"__InstanceOperationEvent", "__Event",
                                                                 "__IndicationRelated", "__SystemClass"}));
    EXPECT_TRUE(modification.property("TargetInstance"));
}

TEST(Bootstrap, CreatesTheFileOnceWithSystemClassesAndCopiesIntoMemory) {
    test::TempDir dir;
    const std::string path = (dir / "nested" / "repo.sqlite").string();
    {
        ClassStore store = repo::openOrCreateRepository(path, repo::NewRepository::SystemClassesOnly);
        EXPECT_TRUE(store.wasCreated());
        EXPECT_TRUE(store.hasClass(store.systemNamespace(), "__NAMESPACE"));
        ASSERT_EQ(compileText(store, "#pragma namespace(\"root/x\")\n#pragma restrict(\"bob\")\n"
                                     "Qualifier Q : string, Scope(any);\nclass A { [Q(\"v\")] string P; };\n"
                                     "instance of A { P = \"i\"; };")
                      .status,
                  mof::CompileStatus::Success);
    }
    ClassStore again = repo::openOrCreateRepository(path, repo::NewRepository::SystemClassesOnly);
    EXPECT_FALSE(again.wasCreated());
    ClassStore copy = again.copyInMemory();
    const auto x = copy.findNamespace("root\\x");
    ASSERT_TRUE(x);
    EXPECT_TRUE(copy.hasClass(*x, "A"));
    EXPECT_EQ(copy.instancesOf(*x, "A").size(), 1u);
    EXPECT_TRUE(copy.getQualifierDecl(*x, "Q"));
    EXPECT_EQ(copy.namespaceAccess(*x), std::vector<std::string>{"bob"});
    EXPECT_EQ(copy.classNames(copy.systemNamespace()), again.classNames(again.systemNamespace()));
}

} // namespace
