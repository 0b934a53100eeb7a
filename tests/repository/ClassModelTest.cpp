#include "repository/model/ClassModel.h"
#include "repository/core/Error.h"
#include "tests/support/TestRepository.h"

#include <gtest/gtest.h>

using namespace morrowlen;
using namespace morrowlen::repo;
using namespace morrowlen::test;

namespace {

std::string qualifierText(const ResolvedFeature& f, std::string_view name) {
    const ResolvedQualifier* q = f.qualifier(name);
    return q ? q->value.toText() : std::string("<absent>");
}

class ClassModelTest : public ::testing::Test {
  protected:
    ClassStore store = ClassStore::openInMemory();
    NamespaceId cimv2 = ensureNamespace(store, "root\\cimv2");
    NamespaceId ms409 = ensureNamespace(store, "root\\cimv2\\ms_409");

    void SetUp() override {
        store.putClass(cimv2,
                       makeClass("CIM_ManagedElement", "",
                                 {property("Caption", CimType::String, {intQualifier("MaxLen", 64)}),
                                  property("Description", CimType::String)},
                                 {stringQualifier("Abstract", "", 0), stringQualifier("Version", "2.0")}));
        store.putClass(cimv2,
                       makeClass("CIM_LogicalElement", "CIM_ManagedElement",
                                 {property("name", CimType::String,
                                           {intQualifier("MaxLen", 256), stringQualifier("Key", "", 0)})}));
        store.putClass(cimv2, makeClass("Win32_Thing", "CIM_LogicalElement",
                                        {property("Caption", CimType::String, {intQualifier("MaxLen", 128)}),
                                         property("alpha", CimType::UInt32)}));
        store.putClass(ms409,
                       makeClass("CIM_ManagedElement", "",
                                 {property("Caption", CimType::String,
                                           {stringQualifier("Description", "A short text <of> the element",
                                                            flavor::ToSubclass | flavor::Amended)})},
                                 {stringQualifier("Description", "Root of everything",
                                                  flavor::ToSubclass | flavor::Amended)}));
        store.putClass(ms409, makeClass("Win32_Thing", "",
                                        {property("alpha", CimType::UInt32,
                                                  {stringQualifier("Description", "First",
                                                                   flavor::ToSubclass | flavor::Amended)})}));
    }
};

TEST_F(ClassModelTest, InheritsPropertiesInAlphabeticalOrderWithOrigins) {
    ClassModel model(store);
    ResolvedClass c = model.getClass(cimv2, "win32_thing");
    EXPECT_EQ(c.name, "Win32_Thing");
    EXPECT_EQ(c.derivation, (std::vector<std::string>{"CIM_LogicalElement", "CIM_ManagedElement"}));
    std::vector<std::string> names;
    for (const auto& p : c.properties)
        names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Caption", "Description", "name"}));
    EXPECT_EQ(c.property("caption")->classOrigin, "CIM_ManagedElement") << "an override keeps its origin";
    EXPECT_EQ(c.property("alpha")->classOrigin, "Win32_Thing");
}

TEST_F(ClassModelTest, QualifiersPropagateByFlavorAndOverride) {
    ClassModel model(store);
    ResolvedClass c = model.getClass(cimv2, "Win32_Thing");
    EXPECT_EQ(qualifierText(*c.property("Caption"), "MaxLen"), "128") << "the subclass overrides";
    EXPECT_FALSE(c.property("Caption")->qualifier("MaxLen")->propagated);
    EXPECT_EQ(qualifierText(*c.property("Name"), "MaxLen"), "256");
    EXPECT_TRUE(c.property("Name")->qualifier("MaxLen")->propagated);
    EXPECT_EQ(c.property("Name")->qualifier("Key"), nullptr) << "a restricted qualifier stays with its class";
    EXPECT_EQ(model.getClass(cimv2, "CIM_LogicalElement").property("Name")->qualifier("Key")->value.toText(),
              "");
    ASSERT_EQ(c.qualifiers.size(), 1u) << "Abstract is restricted, Version propagates";
    EXPECT_EQ(c.qualifiers[0].name, "Version");
}

TEST_F(ClassModelTest, CimTypeIsSynthesisedForEveryProperty) {
    ClassDef c = makeClass("Typed", "");
    PropertyDef ref = property("Owner", CimType::Reference);
    ref.refClass = "CIM_ManagedElement";
    PropertyDef anyRef = property("Any", CimType::Reference);
    PropertyDef obj = property("Embedded", CimType::Object);
    obj.refClass = "Win32_Thing";
    PropertyDef arr = property("Names", CimType::String);
    arr.isArray = true;
    PropertyDef when = property("When", CimType::DateTime, {stringQualifier("CIMTYPE", "bogus")});
    c.properties = {ref,
                    anyRef,
                    obj,
                    arr,
                    when,
                    property("Flag", CimType::Boolean),
                    property("Letter", CimType::Char16),
                    property("Ratio", CimType::Real64)};
    store.putClass(cimv2, c);
    ResolvedClass rc = ClassModel(store).getClass(cimv2, "Typed");
    EXPECT_EQ(qualifierText(*rc.property("Owner"), "CIMTYPE"), "ref:CIM_ManagedElement");
    EXPECT_EQ(qualifierText(*rc.property("Any"), "cimtype"), "ref");
    EXPECT_EQ(qualifierText(*rc.property("Embedded"), "CIMType"), "object:Win32_Thing");
    EXPECT_EQ(qualifierText(*rc.property("Names"), "CIMTYPE"), "string")
        << "an array carries its element type";
    EXPECT_EQ(qualifierText(*rc.property("When"), "CIMTYPE"), "datetime") << "a stored CIMTYPE never wins";
    EXPECT_EQ(qualifierText(*rc.property("Flag"), "CIMTYPE"), "boolean");
    EXPECT_EQ(qualifierText(*rc.property("Letter"), "CIMTYPE"), "char16");
    EXPECT_EQ(qualifierText(*rc.property("Ratio"), "CIMTYPE"), "real64");
    EXPECT_EQ(rc.property("When")->qualifiers.front().name, "CIMTYPE");
}

TEST_F(ClassModelTest, AmendedQualifiersOnlyOnRequest) {
    ClassModel model(store);
    ResolvedClass plain = model.getClass(cimv2, "Win32_Thing");
    EXPECT_EQ(plain.property("Caption")->qualifier("Description"), nullptr);
    EXPECT_EQ(plain.property("alpha")->qualifier("Description"), nullptr);

    ResolvedClass amended = model.getClass(cimv2, "Win32_Thing", UseAmendedQualifiers);
    EXPECT_EQ(qualifierText(*amended.property("Caption"), "Description"), "A short text <of> the element")
        << "an amendment of the declaring class reaches subclasses";
    EXPECT_EQ(qualifierText(*amended.property("alpha"), "Description"), "First");
    EXPECT_EQ(amended.property("Name")->qualifier("Description"), nullptr);
    ASSERT_NE(amended.qualifiers.size(), plain.qualifiers.size());
}

TEST_F(ClassModelTest, AmendedFlavorInTheClassItselfIsFiltered) {
    store.putClass(cimv2, makeClass("Local", "",
                                    {property("P", CimType::String,
                                              {stringQualifier("Description", "here", flavor::Amended),
                                               stringQualifier("Units", "bytes")})}));
    ClassModel model(store);
    EXPECT_EQ(model.getClass(cimv2, "Local").property("P")->qualifier("Description"), nullptr);
    EXPECT_EQ(
        qualifierText(*model.getClass(cimv2, "Local", UseAmendedQualifiers).property("P"), "Description"),
        "here");
    EXPECT_EQ(qualifierText(*model.getClass(cimv2, "Local").property("P"), "Units"), "bytes");
}

TEST_F(ClassModelTest, SystemClassesServeEveryNamespace) {
    store.putClass(store.systemNamespace(), makeClass("__SystemClass", ""));
    store.putClass(store.systemNamespace(),
                   makeClass("__NAMESPACE", "__SystemClass", {property("Name", CimType::String)}));
    ClassModel model(store);
    auto names = model.classNames(cimv2);
    ASSERT_GE(names.size(), 5u);
    EXPECT_EQ(names[0], "__SystemClass");
    EXPECT_EQ(model.getClass(ms409, "__namespace").property("Name")->classOrigin, "__NAMESPACE");
    store.putClass(cimv2, makeClass("Consumer", "__NAMESPACE"));
    EXPECT_EQ(model.getClass(cimv2, "Consumer").derivation.back(), "__SystemClass");
}

TEST_F(ClassModelTest, FailuresCarryThePlatformNumbers) {
    ClassModel model(store);
    try {
        model.getClass(cimv2, "NoSuchClass");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), wbem::NotFound);
        EXPECT_NE(e.description().find("NoSuchClass"), std::string::npos);
    }
    try {
        model.openNamespace("root\\nowhere");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), wbem::InvalidNamespace);
    }
    store.putClass(cimv2, makeClass("Orphan", "MissingParent"));
    EXPECT_THROW(model.getClass(cimv2, "Orphan"), Error);
    store.putClass(cimv2, makeClass("LoopA", "LoopB"));
    store.putClass(cimv2, makeClass("LoopB", "LoopA"));
    EXPECT_THROW(model.getClass(cimv2, "LoopA"), Error) << "a cycle ends in an error, not a hang";
}

TEST_F(ClassModelTest, RestrictedNamespacesRefuseOthersIncludingTheirSubtree) {
    NamespaceId security = ensureNamespace(store, "root\\security");
    ensureNamespace(store, "root\\security\\inner");
    NamespaceId team = ensureNamespace(store, "root\\team");
    store.setNamespaceAccess(security, std::vector<std::string>{});
    store.setNamespaceAccess(team, std::vector<std::string>{"bob", "@users"});

    ClassModel alice(store, ordinaryUser("alice"));
    for (const char* path : {"root\\security", "root\\SECURITY\\inner"}) {
        try {
            alice.openNamespace(path);
            FAIL() << path;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), wbem::AccessDenied) << path;
        }
    }
    EXPECT_NO_THROW(alice.openNamespace("root\\team")) << "alice is in the group users";
    Identity carol{"carol", {"staff"}, false};
    EXPECT_THROW(ClassModel(store, carol).openNamespace("root\\team"), Error);
    Identity bob{"bob", {}, false};
    EXPECT_NO_THROW(ClassModel(store, bob).openNamespace("root\\team"));
    Identity admin{"root", {"root"}, true};
    EXPECT_NO_THROW(ClassModel(store, admin).openNamespace("root\\security\\inner"));
}

} // namespace
