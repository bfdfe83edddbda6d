// What the meta-package does as the library unloads: cleanups first, in the order added and while the
// metamodel is still intact; then the library's own serializers (and only those), then the packages. And the
// library's incidental exports.

#include "ModuleSupport.hpp"

#include <fenmo/Builder.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/meta/PropertySerializer.hpp>
#include <plexo/HostArray.hpp>

#include <functional>
#include <stdexcept>
#include <string_view>
#include <vector>

using namespace arvelle_test;

namespace {

TEST(Teardown, CleanupsRunFirstInInsertionOrderWithHandlesValid) {
    const Baseline baseline;
    std::vector<std::string> log;
    {
        Library library;
        auto getInstance = library.symbol<GetInstanceFn>(kGetInstance);
        // A member function taking a std::function by value: `this` first, then the argument.
        auto addCleanup = library.symbol<void (*)(void*, std::function<void()>)>(
            "_ZN3tav5fenmo18MetaPackageArvelle10addCleanupESt8functionIFvvEE");
        auto treeNodeClass =
            library.symbol<const meta::Class& (*)()>("_ZN3tav5fenmo8treeNode6schema8TreeNode9metaClassEv");
        void* instance = getInstance();
        ASSERT_NE(instance, nullptr);
        // Each cleanup notes whether the instance, the class handle and every registration are still there.
        auto observer = [&, instance](const std::string& name) {
            return [&log, &baseline, name, instance, getInstance, treeNodeClass] {
                const meta::Class& cls = treeNodeClass();
                const bool intact = getInstance() == instance && cls &&
                                    registry().getType(u"tav.fenmo.treeNode.TreeNode") == cls &&
                                    rootRegistrations() == 1 &&
                                    serializers().size() == baseline.serializerCount + kRegisteredSerializers;
                log.push_back(name + (intact ? " intact" : " damaged"));
            };
        };
        addCleanup(instance, observer("first"));
        // A throwing cleanup stops neither the later cleanups nor the tear-down.
        addCleanup(instance, [] { throw std::runtime_error("cleanup failed"); });
        addCleanup(instance, observer("second"));
        EXPECT_TRUE(log.empty()) << "cleanups run at tear-down only";
    }
    EXPECT_FALSE(libraryIsLoaded());
    EXPECT_EQ(log, (std::vector<std::string>{"first intact", "second intact"}));
    baseline.expectUnregistered();
}

// A serializer of someone else's; it notes its own deletion.
class ForeignSerializer final : public meta::DefaultPropertySerializer<void*> {
public:
    explicit ForeignSerializer(bool& deleted) : DefaultPropertySerializer(nullptr), m_deleted(deleted) {}
    ~ForeignSerializer() override { m_deleted = true; }

private:
    std::u16string doSerializeValue(void*) const override { return u"foreign"; }
    void* doParseValue(const std::u16string&) const override { return nullptr; }
    bool& m_deleted;
};

TEST(Teardown, SerializersRegisteredBySomeoneElseSurvive) {
    const Baseline baseline;
    bool enumDeleted = false, pointerDeleted = false;
    auto* enumForeign = new ForeignSerializer(enumDeleted);
    auto* pointerForeign = new ForeignSerializer(pointerDeleted);
    meta::Type complexity, block;
    {
        Library library;
        complexity = registry().getType(u"tav.fenmo.treeNode.Complexity");
        block = registry().getTypeByNativeName(u"TAVBlock *");
        ASSERT_TRUE(complexity && block);
        // Take over two of the library's (type, key) pairs; the registry replaces the library's serializers.
        serializers().registerPropertySerializer(complexity, enumForeign, u"ID");
        serializers().registerPropertySerializer(block, pointerForeign, u"");
        EXPECT_EQ(serializers().size(), baseline.serializerCount + kRegisteredSerializers);
    }
    EXPECT_FALSE(libraryIsLoaded());
    EXPECT_FALSE(enumDeleted || pointerDeleted);
    // The foreign entries stay, under the identities of the destroyed types; the library's are gone.
    EXPECT_EQ(serializers().findPropertySerializer(complexity, u"ID"), enumForeign);
    EXPECT_EQ(serializers().findPropertySerializer(block, u""), pointerForeign);
    EXPECT_EQ(serializers().findPropertySerializer(complexity, u""), nullptr);
    EXPECT_EQ(serializers().size(), baseline.serializerCount + 2);
    serializers().erasePropertySerializer(complexity, u"ID");
    serializers().erasePropertySerializer(block, u"");
    EXPECT_TRUE(enumDeleted && pointerDeleted);
    baseline.expectUnregistered();
}

// Edits a model with elements of the library's classes in every way that leaves snapshots behind in
// the model: nested transactions, recorded and unrecorded commits, undo and redo. Destroys them at the end.
void editWithLibraryElements(const ::fenmo::Model& model, bool clearHistory) {
    const meta::Class signal =
        ::fenmo::handleCast<meta::Class>(registry().getType(u"tav.fenmo.treeNode.SignalAttributes"));
    ASSERT_TRUE(signal);
    const meta::Property dataType = signal->findProperty(u"dataType");
    const ::fenmo::Reflection reflection;
    ::fenmo::ModelElement element = reflection.create(model, signal);
    for (int i = 0; i < 3; ++i) {
        ::fenmo::Transaction outer = model->beginTransaction(false);
        {
            ::fenmo::Transaction inner = model->beginTransaction(false);
            reflection.set(element, dataType, ::fenmo::Value::ofString(u"t" + ::fenmo::widenNumber(i)));
        }  // abandoned: an inner snapshot goes back to the model's pool
        reflection.set(element, dataType, ::fenmo::Value::ofString(u"u" + ::fenmo::widenNumber(i)));
        outer.commit(boost::none);
    }
    model->undo();
    model->redo();
    model->setUndoRecording(false);
    reflection.set(element, dataType, ::fenmo::Value::ofString(u"unrecorded"));
    model->setUndoRecording(true);
    element->destroy();
    if (clearHistory) model->clearHistory();
}

TEST(Teardown, AHostModelOpenBeforeTheLibraryClosesCleanlyAfterIt) {
    const Baseline baseline;
    for (bool clearHistory : {true, false}) {
        ::fenmo::Model model = ::fenmo::Model::create();
        {
            Library library;
            editWithLibraryElements(model, clearHistory);
        }
        EXPECT_FALSE(libraryIsLoaded());
        // Nothing of the library's code is needed to close the model now.
        model = ::fenmo::Model();
    }
    baseline.expectUnregistered();
}

TEST(Exports, SingletonModuleLockOperations) {
    // Member functions of Boost serialization's singleton_module over one process-wide flag that starts
    // false; they do not touch the object, whose address only stands in for `this`.
    Library library;
    char module = 0;
    const std::string prefix = "_ZN5boost13serialization16singleton_module";
    auto getLock = library.symbol<bool& (*)(void*)>((prefix + "8get_lockEv").c_str());
    auto lock = library.symbol<void (*)(void*)>((prefix + "4lockEv").c_str());
    auto unlock = library.symbol<void (*)(void*)>((prefix + "6unlockEv").c_str());
    auto isLocked = library.symbol<bool (*)(void*)>((prefix + "9is_lockedEv").c_str());
    EXPECT_FALSE(getLock(&module));
    lock(&module);
    EXPECT_TRUE(isLocked(&module) && getLock(&module));
    unlock(&module);
    EXPECT_FALSE(isLocked(&module) || getLock(&module));
}

}  // namespace

namespace {

TEST(Exports, StringArrayInstantiationForUtf16Text) {
    // The library's instantiation of the host's string-array template, used through its exported
    // operations alone on storage of the array's size.
    Library library;
    const std::string prefix = "_ZN5plexo11StringArrayIDsE";
    auto construct = library.symbol<void (*)(void*)>((prefix + "C1Ev").c_str());
    auto destroy = library.symbol<void (*)(void*)>((prefix + "D1Ev").c_str());
    auto append = library.symbol<void (*)(void*, std::u16string_view)>(
        (prefix + "6appendESt17basic_string_viewIDsSt11char_traitsIDsEE").c_str());
    auto resize = library.symbol<void (*)(void*, std::size_t)>((prefix + "6resizeEm").c_str());
    auto size = library.symbol<std::size_t (*)(const void*)>("_ZNK5plexo11StringArrayIDsE4sizeEv");
    alignas(plexo::StringArray<char16_t>) unsigned char storage[sizeof(plexo::StringArray<char16_t>)];
    construct(storage);
    EXPECT_EQ(size(storage), 0u);
    append(storage, u"signal");
    append(storage, u"bus");
    EXPECT_EQ(size(storage), 2u);
    EXPECT_EQ((*reinterpret_cast<plexo::StringArray<char16_t>*>(storage))[1], u"bus");
    resize(storage, 5);
    EXPECT_EQ(size(storage), 5u);
    destroy(storage);
}

}  // namespace
