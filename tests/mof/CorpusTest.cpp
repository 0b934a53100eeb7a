// Real MOF from the shared corpora: the DMTF schema compiles and reads back as written, and every
// deliberately invalid file is refused at the right line without touching the repository.
#include "repository/file/RepositoryFile.h"
#include "repository/model/ClassModel.h"
#include "tests/mof/MofTestSupport.h"
#include "tests/support/TestRepository.h"
#include "tools/MofFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace morrowlen;
using namespace morrowlen::repo;
namespace fs = std::filesystem;

namespace {

#define REQUIRE_CORPUS(var, relative)                                                                        \
    const auto var = test::corpus(relative);                                                                 \
    if (!var)                                                                                                \
    GTEST_SKIP() << "corpus " << (relative) << " is absent (expected under " MORROWLEN_CORPORA_DIR ")"

constexpr const char* Dmtf = "dmtf-cim-schema-2.49.0/cim_schema_2.49.0.mof";

mof::CompileOptions intoCimv2() {
    mof::CompileOptions o;
    o.defaultNamespace = "root\\cimv2";
    return o;
}

class DmtfSchema : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const auto top = test::corpus(Dmtf);
        if (!top) return;
        s_dir = std::make_unique<test::TempDir>();
        s_store = std::make_unique<ClassStore>(repo::openOrCreateRepository(
            (*s_dir / "dmtf.sqlite").string(), repo::NewRepository::SystemClassesOnly));
        mof::Compiler compiler(*s_store, intoCimv2());
        s_status = compiler.compileFiles({top->string()});
        s_diagnostics = compiler.diagnostics().formatAll();
        s_stats = compiler.stats();
    }
    static void TearDownTestSuite() {
        s_store.reset();
        s_dir.reset();
    }
    void SetUp() override {
        if (!s_store)
            GTEST_SKIP() << "corpus " << Dmtf << " is absent (expected under " MORROWLEN_CORPORA_DIR ")";
    }
    NamespaceId cimv2() const { return *s_store->findNamespace("root\\cimv2"); }

    static inline std::unique_ptr<test::TempDir> s_dir;
    static inline std::unique_ptr<ClassStore> s_store;
    static inline mof::CompileStatus s_status{};
    static inline std::string s_diagnostics;
    static inline mof::CompileStats s_stats;
};

TEST_F(DmtfSchema, CompilesWithoutDiagnostics) {
    EXPECT_EQ(s_status, mof::CompileStatus::Success);
    EXPECT_EQ(s_diagnostics, "");
    EXPECT_EQ(s_stats.files, 1634u);
    EXPECT_EQ(s_stats.classes, 1631u);
    EXPECT_EQ(s_stats.qualifierDecls, 70u);
    EXPECT_EQ(s_store->classNames(cimv2()).size(), 1631u);
    EXPECT_EQ(s_store->qualifierDecls(cimv2()).size(), 70u);
    EXPECT_FALSE(s_store->classNames(s_store->systemNamespace()).empty());
}

TEST_F(DmtfSchema, InheritedPropertiesCarryPropagatedQualifiers) {
    ClassModel model(*s_store);
    const ResolvedClass cs = model.getClass(cimv2(), "CIM_ComputerSystem");
    EXPECT_EQ(cs.superclass, "CIM_System");
    EXPECT_EQ(cs.derivation.back(), "CIM_ManagedElement");
    const ResolvedProperty* name = cs.property("Name");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->classOrigin, "CIM_ManagedSystemElement");
    ASSERT_TRUE(name->qualifier("Key"));
    EXPECT_TRUE(name->qualifier("Key")->propagated);
    ASSERT_TRUE(name->qualifier("MaxLen"));
    EXPECT_EQ(name->qualifier("MaxLen")->value, Value::uint(256));
    EXPECT_EQ(name->qualifier("MaxLen")->type, CimType::UInt32);
    EXPECT_EQ(name->qualifiers.front().name, "CIMTYPE");
    EXPECT_EQ(name->qualifiers.front().value, Value::string("string"));

    const ResolvedProperty* caption = cs.property("Caption");
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->qualifier("MaxLen")->value, Value::uint(64));
    ASSERT_TRUE(caption->qualifier("Description"));
    EXPECT_TRUE(caption->qualifier("Description")->propagated);
    EXPECT_NE(
        std::get<std::string>(caption->qualifier("Description")->value.scalarValue()).find("short textual"),
        std::string::npos);
    EXPECT_EQ(caption->qualifier("Description")->flavors, flavor::ToSubclass | flavor::Translatable);
    EXPECT_TRUE(std::none_of(cs.qualifiers.begin(), cs.qualifiers.end(), [](const ResolvedQualifier& q) {
        return q.name == "Abstract";
    })) << "Abstract is Restricted: it does not reach subclasses";
}

TEST_F(DmtfSchema, AssociationsHoldTypedReferences) {
    ClassModel model(*s_store);
    const ResolvedClass c = model.getClass(cimv2(), "CIM_SystemDevice");
    const ResolvedProperty* group = c.property("GroupComponent");
    ASSERT_TRUE(group);
    EXPECT_EQ(group->type, CimType::Reference);
    EXPECT_EQ(group->refClass, "CIM_System");
    EXPECT_EQ(group->qualifiers.front().value, Value::string("ref:CIM_System"));
    const auto association = std::find_if(c.qualifiers.begin(), c.qualifiers.end(),
                                          [](const ResolvedQualifier& q) { return q.name == "Association"; });
    ASSERT_NE(association, c.qualifiers.end());
    EXPECT_EQ(association->flavors, flavor::ToSubclass | flavor::DisableOverride);
}

TEST_F(DmtfSchema, MethodsHaveTypedParameters) {
    ClassModel model(*s_store);
    const ResolvedClass c = model.getClass(cimv2(), "CIM_EnabledLogicalElement");
    const auto m = std::find_if(c.methods.begin(), c.methods.end(),
                                [](const ResolvedMethod& r) { return r.name == "RequestStateChange"; });
    ASSERT_NE(m, c.methods.end());
    EXPECT_EQ(m->returnType, CimType::UInt32);
    ASSERT_EQ(m->parameters.size(), 3u);
    EXPECT_EQ(m->parameters[0].name, "RequestedState");
    EXPECT_TRUE(m->parameters[0].qualifier("In"));
    EXPECT_EQ(m->parameters[1].type, CimType::Reference);
    EXPECT_EQ(m->parameters[1].refClass, "CIM_ConcreteJob");
    EXPECT_EQ(m->parameters[2].type, CimType::DateTime);
}

// Writes every class back as MOF, compiles that into a new repository and compares the result.
TEST_F(DmtfSchema, ShowAsMofCompilesBackToEqualDefinitions) {
    ClassModel model(*s_store);
    const NamespaceId ns = cimv2();
    std::map<std::string, QualifierDecl> decls;
    std::string text;
    for (const QualifierDecl& d : s_store->qualifierDecls(ns)) {
        decls[foldCase(d.name)] = d;
        text += mof::formatQualifierDeclMof(d);
    }
    const mof::DeclLookup declOf = [&](std::string_view n) -> const QualifierDecl* {
        const auto it = decls.find(foldCase(n));
        return it == decls.end() ? nullptr : &it->second;
    };
    const std::vector<std::string> names = s_store->classNames(ns); // creation order: superclasses first
    std::vector<ResolvedClass> originals;
    for (const std::string& n : names) {
        originals.push_back(model.getClass(ns, n));
        text += mof::formatClassMof(originals.back(), declOf);
    }
    ClassStore copy = repo::createInMemoryRepository();
    const auto c = test::compileText(copy, text, intoCimv2());
    ASSERT_EQ(c.status, mof::CompileStatus::Success) << c.diagnostics.substr(0, 4000);

    ClassModel copyModel(copy);
    const NamespaceId copyNs = *copy.findNamespace("root\\cimv2");
    const auto sameQualifiers = [](const std::vector<ResolvedQualifier>& a,
                                   const std::vector<ResolvedQualifier>& b) {
        if (a.size() != b.size()) return false;
        for (const ResolvedQualifier& q : a) {
            const auto o = std::find_if(b.begin(), b.end(), [&](const auto& r) { return r.name == q.name; });
            if (o == b.end() || o->type != q.type || o->isArray != q.isArray || !(o->value == q.value) ||
                o->flavors != q.flavors || o->propagated != q.propagated)
                return false;
        }
        return true;
    };
    for (const ResolvedClass& a : originals) {
        const ResolvedClass b = copyModel.getClass(copyNs, a.name);
        SCOPED_TRACE(a.name);
        EXPECT_EQ(b.superclass, a.superclass);
        EXPECT_TRUE(sameQualifiers(a.qualifiers, b.qualifiers));
        ASSERT_EQ(b.properties.size(), a.properties.size());
        for (std::size_t i = 0; i < a.properties.size(); ++i) {
            const ResolvedProperty &p = a.properties[i], &q = b.properties[i];
            EXPECT_EQ(p.name, q.name);
            EXPECT_EQ(p.type, q.type) << p.name;
            EXPECT_EQ(p.isArray, q.isArray) << p.name;
            EXPECT_EQ(p.refClass, q.refClass) << p.name;
            EXPECT_EQ(p.classOrigin, q.classOrigin) << p.name;
            EXPECT_EQ(p.defaultValue, q.defaultValue) << p.name;
            EXPECT_TRUE(sameQualifiers(p.qualifiers, q.qualifiers)) << p.name;
        }
        ASSERT_EQ(b.methods.size(), a.methods.size());
        for (std::size_t i = 0; i < a.methods.size(); ++i) {
            EXPECT_EQ(a.methods[i].name, b.methods[i].name);
            EXPECT_TRUE(sameQualifiers(a.methods[i].qualifiers, b.methods[i].qualifiers))
                << a.methods[i].name;
            ASSERT_EQ(a.methods[i].parameters.size(), b.methods[i].parameters.size());
            for (std::size_t k = 0; k < a.methods[i].parameters.size(); ++k) {
                EXPECT_EQ(a.methods[i].parameters[k].type, b.methods[i].parameters[k].type);
                EXPECT_TRUE(sameQualifiers(a.methods[i].parameters[k].qualifiers,
                                           b.methods[i].parameters[k].qualifiers));
            }
        }
        if (HasFailure()) break; // one class's differences say enough
    }
}

// --- deliberately invalid files

struct InvalidCase {
    std::string file;         // under the corpora folder
    std::uint32_t line;       // where the problem is
    bool warningOnly = false; // the file is only worth a warning
    bool strict = false;      // refused only where every qualifier must be declared
};

std::string caseName(const InvalidCase& c) {
    std::string name = fs::path(c.file).stem().string();
    std::replace_if(
        name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return name;
}

class InvalidMof : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidMof, IsRefusedAtTheRightLineAndLeavesTheRepositoryAlone) {
    const InvalidCase& c = GetParam();
    REQUIRE_CORPUS(file, c.file);
    test::TempDir dir;
    const std::string repoPath = (dir / "repo.sqlite").string();
    { ClassStore created = repo::openOrCreateRepository(repoPath, repo::NewRepository::SystemClassesOnly); }
    const std::string before = test::readFile(repoPath);

    std::vector<std::uint32_t> errors, warnings;
    mof::CompileStatus status;
    std::string shown;
    {
        ClassStore store = repo::openOrCreateRepository(repoPath, repo::NewRepository::SystemClassesOnly);
        mof::CompileOptions options;
        options.strictQualifiers = c.strict;
        mof::Compiler compiler(store, options);
        status = compiler.compileFiles({file->string()});
        shown = compiler.diagnostics().formatAll();
        for (const mof::Diagnostic& d : compiler.diagnostics().all()) {
            if (d.location.file == mof::NoFile) continue;
            const auto line = compiler.sources().file(d.location.file).position(d.location.offset).line;
            (d.severity == mof::Severity::Error ? errors : warnings).push_back(line);
        }
    }
    if (c.warningOnly) {
        EXPECT_EQ(status, mof::CompileStatus::Success) << shown;
        EXPECT_NE(std::find(warnings.begin(), warnings.end(), c.line), warnings.end()) << shown;
    } else {
        EXPECT_NE(status, mof::CompileStatus::Success);
        EXPECT_NE(std::find(errors.begin(), errors.end(), c.line), errors.end()) << shown;
    }
    EXPECT_EQ(test::readFile(repoPath), before) << "the repository file must not change";
}

constexpr const char* Pg = "openpegasus/pegasus/src/Pegasus/Compiler/tests/invalidMOF/";
constexpr const char* Py = "pywbem-testmofs/tests/unittest/pywbem/testmofs/";

std::vector<InvalidCase> invalidCases() {
    std::vector<InvalidCase> rows = {
        {std::string(Pg) + "InstAliasError.mof", 33},
        {std::string(Pg) + "InstAliasError2.mof", 47},
        {std::string(Pg) + "InstAliasError3.mof", 39},
        {std::string(Pg) + "InvalidPragma1.mof", 2, true},
        {std::string(Pg) + "InvalidPragma2.mof", 1, true},
        {std::string(Pg) + "badClassDefinition1.mof", 1},
        {std::string(Pg) + "badQualifier1.mof", 12},
        {std::string(Pg) + "badQualifierDef1.mof", 12},
        {std::string(Pg) + "badQualifierDecl1.mof", 4},
        {std::string(Pg) + "badQualifierDecl2.mof", 4},
        {std::string(Pg) + "badQualifierDecl3.mof", 4},
        {std::string(Pg) + "badQualifierDecl5.mof", 4},
        {std::string(Pg) + "badQualifierDecl6.mof", 4},
        {std::string(Pg) + "badQualifierDecl10.mof", 3},
        {std::string(Pg) + "badQualifierDecl11.mof", 3},
        {std::string(Pg) + "badQualifierDecl12.mof", 3},
        {std::string(Pg) + "badQualifierDecl13.mof", 3},
        {std::string(Pg) + "badQualifierDecl15.mof", 4},
        {std::string(Pg) + "badQualifierDecl16.mof", 3},
        {std::string(Pg) + "badQualifierDecl20.mof", 2},
        {"openpegasus/pegasus/src/Pegasus/Compiler/cmdline/tests/InvalidMof1.mof", 32, false, true},
        {std::string(Py) + "parse_error01.mof", 14},
        {std::string(Py) + "parse_error02.mof", 6},
        {std::string(Py) + "parse_error03.mof", 24},
        {std::string(Py) + "parse_error04.mof", 2},
        {"omi/Unix/tests/mof/syntaxerror.mof", 97},
        {"openpegasus/pegasus/src/Providers/TestProviders/Load/AssociationTestProviderR.mof", 151},
    };
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Corpora, InvalidMof, ::testing::ValuesIn(invalidCases()),
                         [](const auto& info) { return caseName(info.param); });

TEST(Corpora, PegasusFilesNamedBadButValidCompile) {
    for (const char* name : {"badQualifierDecl4.mof", "badQualifierDecl14.mof"}) {
        REQUIRE_CORPUS(file, std::string(Pg) + name);
        ClassStore store = repo::createInMemoryRepository();
        const auto c = test::compileFile(store, *file);
        EXPECT_EQ(c.status, mof::CompileStatus::Success) << c.diagnostics;
    }
}

TEST(Corpora, OmiSchemaCompiles) {
    REQUIRE_CORPUS(top, "omi/Unix/share/omischema/CIM_Schema.mof");
    ClassStore store = repo::createInMemoryRepository();
    mof::Compiler compiler(store, intoCimv2());
    EXPECT_EQ(compiler.compileFiles({top->string()}), mof::CompileStatus::Success)
        << compiler.diagnostics().formatAll().substr(0, 4000);
    EXPECT_EQ(compiler.diagnostics().all().size(), 0u);
    EXPECT_EQ(compiler.stats().classes, 1418u);
}

TEST(Corpora, OmiNetworkSchemaWarnsAboutItsMalformedStrings) {
    REQUIRE_CORPUS(file, "omi/Unix/share/networkschema/MSFT_NetworkVLAN.mof");
    ClassStore store = repo::createInMemoryRepository();
    mof::Compiler compiler(store);
    compiler.compileFiles({file->string()});
    const auto& all = compiler.diagnostics().all();
    const auto escape = std::find_if(all.begin(), all.end(), [](const mof::Diagnostic& d) {
        return d.message.find("unknown escape sequence '\\d'") != std::string::npos;
    });
    ASSERT_NE(escape, all.end()) << compiler.diagnostics().formatAll();
    EXPECT_EQ(compiler.sources().file(escape->location.file).position(escape->location.offset).line, 9u);
}

TEST(Corpora, Utf16FileIsDecoded) {
    REQUIRE_CORPUS(file, "omi/Unix/tests/codec/mof/blue/mofs/mintinstance.mof");
    ClassStore store = repo::createInMemoryRepository();
    mof::Compiler compiler(store);
    compiler.compileFiles({file->string()});
    EXPECT_FALSE(compiler.diagnostics().hasErrorIn(mof::Phase::Syntax)) << compiler.diagnostics().formatAll();
    EXPECT_FALSE(compiler.diagnostics().hasErrorIn(mof::Phase::Input));
}

} // namespace
