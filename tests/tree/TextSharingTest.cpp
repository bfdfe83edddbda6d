// Text properties keep one pooled copy per distinct text: elements, builders, snapshots and the history
// share it, edits and undo never change a text another element holds, and the pool forgets a text
// once nothing holds it, also when threads intern and drop the same texts at once.

#include "tree/TreeSupport.hpp"

#include <fenmo/SharedText.hpp>

#include <atomic>
#include <random>
#include <thread>

namespace treetest {
namespace {

using ::fenmo::SharedText;
using Text = boost::optional<std::u16string>;

Text text(const char16_t* characters) {
    return Text(std::u16string(characters));
}
// A held text as the test reads it.
std::string shown(const Text& held) {
    return held ? fenmo::toUtf8(*held) : "<unset>";
}

TEST(TextSharingTest, ElementsShareTextsThroughEditsUndoAndAbandon) {
    Model model = Model::create();
    SignalAttributes::Builder builder(model);
    builder.setDataType(text(u"double")).setDims(text(u"1"));
    SignalAttributes a = builder.createSignalAttributes(uuid());
    SignalAttributes b = builder.createSignalAttributes(uuid());
    SignalAttributes c = SignalAttributes::create(model, uuid());
    c->setDataType(text(u"double"));
    // One copy of "double" for all three, however it was set.
    EXPECT_EQ(&a->getDataType(), &b->getDataType());
    EXPECT_EQ(&a->getDataType(), &c->getDataType());
    EXPECT_EQ(shown(a->getDims()), "1");
    EXPECT_FALSE(a->hasUnit());
    EXPECT_EQ(shown(a->getUnit()), "<unset>");

    const Text longText = text(u"a description longer than any inline string buffer");
    a->setDataType(text(u"single"));
    a->setDesc(longText);
    EXPECT_EQ(shown(b->getDataType()), "double");
    EXPECT_EQ(shown(c->getDataType()), "double");

    // An abandoned level puts a's texts back and leaves b's alone.
    {
        fenmo::Transaction transaction = model->beginRevertibleTransaction();
        a->setDesc(boost::none);
        a->setDataType(text(u"double"));
        b->setDataType(text(u"int8"));
        EXPECT_EQ(&a->getDataType(), &c->getDataType());
        transaction.abandon();
    }
    EXPECT_EQ(shown(a->getDataType()), "single");
    EXPECT_EQ(shown(a->getDesc()), shown(longText));
    EXPECT_EQ(shown(b->getDataType()), "double");

    // The reflective setter pools the text like the typed one.
    const Reflection reflection;
    reflection.set(b, schema::SignalAttributes::dataType(), Value::ofString(u"single"));
    EXPECT_EQ(&a->getDataType(), &b->getDataType());
    EXPECT_EQ(reflection.get(b, schema::SignalAttributes::dataType()).getString(), u"single");

    // Undo and redo through the steps above.
    model->undo();  // b's reflective set
    EXPECT_EQ(shown(b->getDataType()), "double");
    model->undo();  // a's description
    EXPECT_FALSE(a->hasDesc());
    model->undo();  // a's data type
    EXPECT_EQ(shown(a->getDataType()), "double");
    EXPECT_EQ(&a->getDataType(), &b->getDataType());
    model->redo();
    model->redo();
    EXPECT_EQ(shown(a->getDataType()), "single");
    EXPECT_EQ(shown(a->getDesc()), shown(longText));
    EXPECT_EQ(shown(b->getDataType()), "double");
    EXPECT_EQ(shown(c->getDataType()), "double");
}

TEST(TextSharingTest, PoolForgetsTextsNoOneHolds) {
    const std::size_t before = SharedText::pooledCount();
    // In a thread of its own, so that the texts it interned last are let go when it ends.
    std::thread([] {
        const std::size_t start = SharedText::pooledCount();
        Model model = Model::create();
        SignalAttributes signal = SignalAttributes::create(model, uuid());
        signal->setDesc(text(u"only this element says this"));
        signal->setDesc(text(u"nor does anyone say this"));
        EXPECT_EQ(SharedText::pooledCount(), start + 2);  // the first is kept by the undo history
        model->undo();
        EXPECT_EQ(shown(signal->getDesc()), "only this element says this");
    }).join();
    EXPECT_EQ(SharedText::pooledCount(), before);
}

TEST(TextSharingTest, ThreadsInternAndDropTheSameTexts) {
    const std::size_t before = SharedText::pooledCount();
    // More texts than a thread keeps at hand, so that threads go to the pool and entries come and go.
    std::vector<std::u16string> texts;
    for (int i = 0; i < 24; ++i)
        texts.push_back(u"text " + fenmo::widenNumber(i % 12) + (i < 12 ? u"" : u" again"));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::mt19937 random(t);
            std::vector<std::pair<std::size_t, SharedText>> held;
            for (int step = 0; step < 20000; ++step) {
                const std::size_t i = random() % texts.size();
                SharedText made{Text(texts[i])};
                if (!made || *made != texts[i]) ++wrong;
                for (const auto& [j, other] : held)
                    if ((other == made) != (i == j)) ++wrong;
                if (held.size() < 6)
                    held.emplace_back(i, made);
                else
                    held[random() % held.size()] = {i, std::move(made)};
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(SharedText::pooledCount(), before);
}

}  // namespace
}  // namespace treetest
