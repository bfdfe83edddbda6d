// The library's scripting side across unload and reload, with the scripting host loaded by the program as
// a host has it: the enumeration marshalers registered while the library loads are gone once it unloads
// (the meta-package's cleanup takes them out) and back with the next load; the namespaces of the
// initialisation export work, are dropped by the host before the unload, and come back with the export
// of the reloaded library.

#include "ModuleSupport.hpp"

#include <fenmo/meta/Type.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <fenmo/qorin/ValueMarshaler.hpp>
#include <plexo/Embedding.hpp>
#include <plexo/Factory.hpp>

#include <vector>

using namespace arvelle_test;

namespace {

using Registrar = ::fenmo::qorin::EmptyParentNamespace::Registrar;
using InitializeFn = void (*)();

const char16_t* const kEnumerations[] = {u"Complexity", u"DataMode",  u"DimsMode",  u"OutputWhenDisabled",
                                         u"QoSType",    u"QueueType", u"Virtuality"};

TEST(ScriptingUnload, MarshalersAndNamespacesGoAndComeBackWithTheLibrary) {
    const Baseline baseline;
    ::fenmo::qorin::initialize();
    std::size_t infos = 0;  // live infos after the first round: the framework's classes, none of the library
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Library library;
        // Held across the unload: the types outlive their registration, their marshalers must not.
        std::vector<meta::Type> types;
        for (const char16_t* name : kEnumerations) {
            types.push_back(registry().getType(std::u16string(u"tav.fenmo.treeNode.") + name));
            ASSERT_TRUE(types.back());
            EXPECT_NE(Registrar::findTypeMarshaler(types.back()), nullptr);
        }

        const std::size_t populations = plexo::namespacePopulationCount("tav.fenmo.treeNode");
        library.symbol<InitializeFn>("QorinInitialize_arvelle")();
        library.symbol<InitializeFn>("QorinInitialize_arvelle")();
        EXPECT_TRUE(plexo::isNamespaceRegistered("tav.fenmo.treeNode"));
        EXPECT_TRUE(plexo::isNamespaceRegistered("tav.fenmo.nativeTypes"));
        {
            plexo::Array model = plexo::construct("fenmo.Model");
            plexo::Array node = plexo::construct("tav.fenmo.treeNode.TreeNode", {model.get()});
            plexo::Array signal = std::move(plexo::call("createIntoSignalAttrs", {node.get()})[0]);
            plexo::setProperty(*signal, "complexity", *plexo::Array(plexo::createString("COMPLEX")));
            plexo::Array complexity = plexo::getProperty(*signal, "complexity");
            EXPECT_EQ(plexo::omGetUnderlyingArray(*complexity)->int32s()[0], 2);
            plexo::Array real(plexo::createString("REAL"));
            EXPECT_EQ(Registrar::findTypeMarshaler(types[0])->toValue(*real).getInteger(), 1);
        }
        EXPECT_EQ(plexo::namespacePopulationCount("tav.fenmo.treeNode"), populations + 1)
            << "each load registers once, however often its export is called";
        EXPECT_EQ(plexo::factory::BindingRegistry::size(), 0u);

        // The host drops the library's namespaces before it unloads the library.
        plexo::unregisterNamespace("tav.fenmo.treeNode");
        plexo::unregisterNamespace("tav.fenmo.nativeTypes");
        if (round == 0)
            infos = plexo::InfoAllocation::liveCount();
        else
            EXPECT_EQ(plexo::InfoAllocation::liveCount(), infos) << "every info of the library was released";
        library.close();
        EXPECT_FALSE(libraryIsLoaded()) << "the library must really unload";
        for (const meta::Type& type : types) EXPECT_EQ(Registrar::findTypeMarshaler(type), nullptr);
        baseline.expectUnregistered();
    }
    plexo::shutdown();
}

}  // namespace
