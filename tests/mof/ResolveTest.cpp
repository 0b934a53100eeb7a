// What real MOF needs beyond DSP0221: classes named before their definition, the rest of the
// platform's dialect, and missing classes found by file name in the include folders.
#include "repository/file/DefaultSet.h"
#include "repository/file/RepositoryFile.h"
#include "repository/model/ClassModel.h"
#include "tests/mof/MofTestSupport.h"
#include "tests/support/TestRepository.h"
#include "tools/MofFormat.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace morrowlen;
using namespace morrowlen::repo;
namespace fs = std::filesystem;
using test::compileText;

namespace {

const fs::path Acceptance = fs::path(MORROWLEN_MOF_GOLDEN_DIR).parent_path() / "acceptance";

std::string cimType(const ResolvedFeature& f) {
    for (const ResolvedQualifier& q : f.qualifiers)
        if (equalsNoCase(q.name, "CIMTYPE")) return q.value.toText();
    return "";
}

std::vector<std::string> warnings(const test::Compiled& c) {
    std::vector<std::string> out;
    for (const mof::Diagnostic& d : c.list)
        if (d.severity == mof::Severity::Warning) out.push_back(d.message);
    return out;
}

class ResolveTest : public ::testing::Test {
  protected:
    ClassStore store = repo::createInMemoryRepository();

    test::Compiled ok(const std::string& text, mof::CompileOptions options = {}) {
        test::Compiled c = compileText(store, text, std::move(options));
        EXPECT_EQ(c.status, mof::CompileStatus::Success) << c.diagnostics;
        return c;
    }
    ResolvedClass resolved(const std::string& name, const std::string& ns = "root\\default") {
        ClassModel model(store);
        return model.getClass(*store.findNamespace(ns), name);
    }
};

TEST_F(ResolveTest, ExporterShapedFileCompilesUnchanged) {
    const test::Compiled c = test::compileFile(store, Acceptance / "exported.mof");
    ASSERT_EQ(c.status, mof::CompileStatus::Success) << c.diagnostics;
    EXPECT_EQ(warnings(c),
              (std::vector<std::string>{
                  "namespace 'root\\Contoso' does not exist; the nearest existing one is 'root'; it "
                  "is created",
                  "reference to class 'Contoso_Elsewhere', which is not defined; kept as written",
                  "embedded object of class 'Contoso_Nowhere', which is not defined; kept as written"}));
    const ResolvedClass assoc = resolved("Contoso_DiskOnHost", "root\\Contoso");
    EXPECT_EQ(cimType(*assoc.property("Host")), "ref:Contoso_Host");
    EXPECT_EQ(cimType(*assoc.property("Disk")), "ref:Contoso_Disk");
    EXPECT_EQ(cimType(*assoc.property("Backup")), "ref:Contoso_Elsewhere");
    const ResolvedClass element = resolved("Contoso_Element", "root\\Contoso");
    EXPECT_EQ(cimType(*element.property("Current")), "object:Contoso_Settings");
    EXPECT_EQ(cimType(*element.property("Saved")), "object:Contoso_Settings");
    ASSERT_EQ(element.methods.size(), 1u);
    EXPECT_EQ(cimType(element.methods[0].parameters[0]), "object:Contoso_Settings");
    EXPECT_EQ(cimType(element.methods[0].parameters[1]), "ref:Contoso_Host");
    const ResolvedClass host = resolved("Contoso_Host", "root\\Contoso");
    EXPECT_EQ(cimType(*host.property("Reset")), "uint32") << "a property beside the inherited method Reset()";
    EXPECT_EQ(host.methods.size(), 1u);
    EXPECT_EQ(cimType(*resolved("Contoso_Settings", "root\\Contoso").property("Detail")),
              "object:Contoso_Nowhere");
}

TEST_F(ResolveTest, StrictRefusesClassesDefinedNowhere) {
    mof::CompileOptions strict;
    strict.strictReferences = true;
    const test::Compiled c = compileText(store, "class A { B ref Later; C Never; };\nclass B {};", strict);
    EXPECT_EQ(c.status, mof::CompileStatus::SemanticError);
    EXPECT_NE(c.diagnostics.find("test.mof:1:24: error: embedded object of class 'C', which is not defined"),
              std::string::npos)
        << c.diagnostics;
    EXPECT_EQ(c.diagnostics.find("'B'"), std::string::npos) << "B is defined later in the compile";
    EXPECT_FALSE(store.hasClass(*store.findNamespace("root\\default"), "A"));
}

TEST_F(ResolveTest, ForwardReferencesReachAcrossFilesAndCycles) {
    mof::Compiler compiler(store);
    ASSERT_EQ(compiler.compile({{"a.mof", "class A { B ref ToB; };"}, {"b.mof", "class B { A ref ToA; };"}}),
              mof::CompileStatus::Success)
        << compiler.diagnostics().formatAll();
    EXPECT_EQ(compiler.diagnostics().warningCount(), 0u);
    EXPECT_EQ(cimType(*resolved("A").property("ToB")), "ref:B");
}

TEST_F(ResolveTest, SuperclassesMustStillBeKnownFirst) {
    const test::Compiled c = compileText(store, "class Sub : Later {};\nclass Later {};");
    EXPECT_NE(c.diagnostics.find("test.mof:1:13: error: unknown superclass 'Later'"), std::string::npos)
        << c.diagnostics;
    const test::Compiled typo = compileText(store, "class T { int32 Weight; };");
    EXPECT_NE(typo.diagnostics.find("error: unknown type or class 'int32'"), std::string::npos)
        << typo.diagnostics;
}

TEST_F(ResolveTest, VoidMethodsAndValuelessInstancePropertiesRoundTrip) {
    ok(R"(class D { [Key] string Id; uint32 Level; void Set([In] uint32 V); };
          [DYNPROPS] instance of D { Id = "x"; [PropertyContext("Level"), DYNAMIC, Provider("P")] Level; };)");
    const ResolvedClass d = resolved("D");
    ASSERT_EQ(d.methods.size(), 1u);
    EXPECT_TRUE(d.methods[0].returnsVoid);
    EXPECT_NE(mof::formatClassMof(d).find("void Set("), std::string::npos);
    const auto instances = store.instancesOf(*store.findNamespace("root\\default"), "D");
    ASSERT_EQ(instances.size(), 1u);
    ASSERT_EQ(instances[0].properties.size(), 2u);
    EXPECT_TRUE(instances[0].properties[1].value.isNull());
    EXPECT_NE(findQualifier(instances[0].properties[1].qualifiers, "PropertyContext"), nullptr);
}

TEST_F(ResolveTest, InstanceFlagsAndDeleteInstance) {
    ok("class K { [Key] string Id; uint32 N; };\ninstance of K { Id = \"a\"; N = 1; };");
    const NamespaceId ns = *store.findNamespace("root\\default");
    struct Case {
        const char* mof;
        const char* error; // empty: compiles
        std::size_t instancesAfter;
    };
    const Case cases[] = {
        {"instance of K { Id = \"a\"; N = 2; };", "", 1}, // replaces
        {"#pragma instanceflags(\"createonly\")\ninstance of K { Id = \"a\"; };", "already exists", 1},
        {"#pragma instanceflags(\"updateonly\")\ninstance of K { Id = \"b\"; };", "does not exist", 1},
        {"#pragma instanceflags(2)\ninstance of K { Id = \"b\"; };", "", 2},
        {"#pragma deleteinstance(\"K.Id=\\\"b\\\"\", FAIL)", "", 1},
        {"#pragma deleteinstance(\"K.Id=\\\"b\\\"\", NOFAIL)", "", 1},
        {"#pragma deleteinstance(\"K.Id=\\\"b\\\"\", FAIL)", "no such instance", 1},
        {"#pragma deleteinstance(\"K.Id\", FAIL)", "not an object path", 1},
    };
    for (const Case& c : cases) {
        const test::Compiled r = compileText(store, c.mof);
        if (*c.error)
            EXPECT_NE(r.diagnostics.find(c.error), std::string::npos) << c.mof << "\n" << r.diagnostics;
        else
            EXPECT_EQ(r.status, mof::CompileStatus::Success) << c.mof << "\n" << r.diagnostics;
        EXPECT_EQ(store.instancesOf(ns, "K").size(), c.instancesAfter) << c.mof;
    }
    EXPECT_EQ(store.instancesOf(ns, "K")[0].properties[1].value, Value::uint(2));
}

TEST(ResolveDefaultSet, DriverAndResourceSchemasCompileWithoutIncludes) {
    ClassStore store = repo::createInMemoryRepository();
    compileDefaultSet(store);
    for (const char* file : {"driver.mof", "resource.mof"}) {
        const test::Compiled c = test::compileFile(store, Acceptance / file);
        EXPECT_EQ(c.status, mof::CompileStatus::Success) << file << "\n" << c.diagnostics;
        EXPECT_EQ(c.list.size(), 0u) << c.diagnostics;
    }
    ClassModel model(store);
    const ResolvedClass share = model.getClass(
        *store.findNamespace("root\\Microsoft\\Windows\\DesiredStateConfiguration"), "Fabrikam_Share");
    EXPECT_EQ(share.derivation, (std::vector<std::string>{"OMI_BaseResource"}));
    EXPECT_EQ(cimType(*share.property("Credential")), "object:MSFT_Credential");
    EXPECT_EQ(cimType(*share.property("PsDscRunAsCredential")), "object:MSFT_Credential");
    const NamespaceId wmi = *store.findNamespace("root\\WMI");
    EXPECT_EQ(model.getClass(wmi, "Fabrikam_Trace").derivation.front(), "EventTrace");
    EXPECT_EQ(model.getClass(wmi, "Fabrikam_SensorEvent").derivation.front(), "WMIEvent");
    EXPECT_TRUE(model.getClass(wmi, "Fabrikam_SensorMethods").methods[0].returnsVoid);
}

class ClassFiles : public ::testing::Test {
  protected:
    test::TempDir dir;
    ClassStore store = repo::createInMemoryRepository();
};

TEST_F(ClassFiles, MissingClassesAreReadOnceFromTheIncludeFolders) {
    test::writeFile(dir / "lib" / "sub" / "LIB_BASE.MOF", "class Lib_Base { Lib_Part ref Part; };");
    test::writeFile(dir / "lib" / "Lib_Part.mof", "class Lib_Part { Lib_Gone Lost; };");
    mof::CompileOptions options;
    options.includeDirs = {(dir / "lib").string()};
    mof::Compiler compiler(store, options);
    ASSERT_EQ(compiler.compileText("mine.mof", "class Mine : Lib_Base {};\nclass Mine2 : Lib_Base {};"),
              mof::CompileStatus::Success)
        << compiler.diagnostics().formatAll();
    std::vector<std::string> names;
    for (const std::string& f : compiler.stats().pulledIn)
        names.push_back(fs::path(f).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"LIB_BASE.MOF", "Lib_Part.mof"}));
    EXPECT_EQ(compiler.diagnostics().warningCount(), 1u) << "Lib_Gone exists nowhere";
}

TEST_F(ClassFiles, SuperclassCycleIsAnErrorAtTheClassThatClosesIt) {
    test::writeFile(dir / "A.mof", "class A : B {};");
    test::writeFile(dir / "B.mof", "class B : A {};");
    mof::CompileOptions options;
    options.includeDirs = {dir.path().string()};
    const test::Compiled c = compileText(store, "class C : A {};", options);
    EXPECT_EQ(c.status, mof::CompileStatus::SemanticError);
    EXPECT_NE(c.diagnostics.find("B.mof:1:11: error: superclass cycle: class 'B' derives from 'A'"),
              std::string::npos)
        << c.diagnostics;
}

TEST(ClassFilesDmtf, VendorMofPullsInExactlyWhatItNeeds) {
    const auto schema = test::corpus("dmtf-cim-schema-2.49.0");
    if (!schema) GTEST_SKIP() << "corpus dmtf-cim-schema-2.49.0 is absent";
    ClassStore store = repo::createInMemoryRepository();
    mof::CompileOptions options;
    options.defaultNamespace = "root\\vendor";
    options.includeDirs = {schema->string()};
    mof::Compiler compiler(store, options);
    ASSERT_EQ(compiler.compileFiles({(Acceptance / "vendor.mof").string()}), mof::CompileStatus::Success)
        << compiler.diagnostics().formatAll();
    EXPECT_EQ(compiler.diagnostics().all().size(), 0u) << compiler.diagnostics().formatAll();
    std::vector<std::string> names;
    for (const std::string& f : compiler.stats().pulledIn)
        names.push_back(fs::path(f).filename().string());
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {"CIM_AllocatedLogicalElement.mof",
                                               "CIM_Component.mof",
                                               "CIM_ComputerSystem.mof",
                                               "CIM_ConcreteJob.mof",
                                               "CIM_EnabledLogicalElement.mof",
                                               "CIM_Error.mof",
                                               "CIM_Job.mof",
                                               "CIM_LogicalDevice.mof",
                                               "CIM_LogicalElement.mof",
                                               "CIM_ManagedElement.mof",
                                               "CIM_ManagedSystemElement.mof",
                                               "CIM_ResourceAllocationSettingData.mof",
                                               "CIM_SettingData.mof",
                                               "CIM_System.mof",
                                               "CIM_SystemComponent.mof",
                                               "CIM_SystemDevice.mof"};
    EXPECT_EQ(names, expected);
    ClassModel model(store);
    EXPECT_EQ(model.getClass(*store.findNamespace("root\\vendor"), "Vendor_ComputerSystem").derivation.back(),
              "CIM_ManagedElement");
}

} // namespace
