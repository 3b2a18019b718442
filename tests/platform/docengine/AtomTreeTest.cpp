#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "platform/docengine/AtomTree.h"

namespace {

using docengine::TAtomTree;
using docengine::TDocAtom;

// Checks every query of the tree against a plain vector holding the same atoms.
void ExpectSameAs(const TAtomTree& ATree, const std::vector<TDocAtom*>& AModel) {
  ASSERT_EQ(ATree.GetCount(), static_cast<std::int64_t>(AModel.size()));
  std::int64_t position = 0;
  const TDocAtom* walked = ATree.First();
  for (std::size_t i = 0; i < AModel.size(); ++i) {
    ASSERT_EQ(walked, AModel[i]) << "walk at " << i;
    ASSERT_EQ(ATree.IndexOf(AModel[i]), static_cast<std::int64_t>(i));
    ASSERT_EQ(ATree.PositionOf(AModel[i]), position);
    for (std::int64_t offset = 0; offset < AModel[i]->Length; ++offset) {
      std::int64_t found = -1;
      ASSERT_EQ(ATree.Find(position + offset, found), AModel[i]);
      ASSERT_EQ(found, offset);
    }
    position += AModel[i]->Length;
    walked = TAtomTree::Next(walked);
  }
  EXPECT_EQ(walked, nullptr);
  // Every node keeps the treap's order of priorities, its parent link and its totals.
  for (const TDocAtom* atom : AModel) {
    std::int64_t length = atom->Length;
    std::int64_t count = 1;
    for (const TDocAtom* child : {atom->Left, atom->Right}) {
      if (child == nullptr) continue;
      ASSERT_EQ(child->Parent, atom);
      ASSERT_LE(child->Priority, atom->Priority);
      length += child->SubtreeLength;
      count += child->SubtreeCount;
    }
    ASSERT_EQ(atom->SubtreeLength, length);
    ASSERT_EQ(atom->SubtreeCount, count);
  }
  EXPECT_EQ(ATree.GetLength(), position);
  std::int64_t offset = 0;
  EXPECT_EQ(ATree.Find(position, offset), nullptr);
  EXPECT_EQ(ATree.Find(-1, offset), nullptr);
  if (!AModel.empty()) {
    EXPECT_EQ(ATree.Last(), AModel.back());
    EXPECT_EQ(TAtomTree::Prev(AModel.front()), nullptr);
    for (std::size_t i = 1; i < AModel.size(); ++i) {
      ASSERT_EQ(TAtomTree::Prev(AModel[i]), AModel[i - 1]);
    }
  }
}

TEST(AtomTreeTest, ZeroLengthAtomsSitBetweenCharacters) {
  std::deque<TDocAtom> store(4);
  TAtomTree tree;
  store[0].Length = 3;  // "abc"
  store[1].Length = 0;  // a marker
  store[2].Length = 0;  // another one
  store[3].Length = 1;  // a paragraph mark
  for (auto& atom : store) tree.Append(&atom);
  EXPECT_EQ(tree.PositionOf(&store[1]), 3);
  EXPECT_EQ(tree.PositionOf(&store[2]), 3);
  std::int64_t offset = -1;
  EXPECT_EQ(tree.Find(3, offset), &store[3]);
  EXPECT_EQ(offset, 0);
}

// Random inserts, removals and resizes, as editing will do them, checked after every step.
TEST(AtomTreeTest, RandomEditsKeepPositionsAndOrder) {
  std::mt19937 random(42);
  std::deque<TDocAtom> store;
  std::vector<TDocAtom*> model;
  TAtomTree tree;
  for (int step = 0; step < 1500; ++step) {
    const int operation = model.empty() ? 0 : static_cast<int>(random() % 5);
    if (operation == 4) {
      // A run of atoms at once, as a paste brings them; short runs take the single-insert path.
      std::vector<TDocAtom*> run(random() % 9);
      for (TDocAtom*& atom : run) {
        atom = &store.emplace_back();
        atom->Length = static_cast<std::int64_t>(random() % 4);
      }
      const std::size_t at = random() % (model.size() + 1);
      tree.InsertRange(at == model.size() ? nullptr : model[at], run);
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), run.begin(), run.end());
    } else if (operation <= 1) {
      TDocAtom* atom = &store.emplace_back();
      atom->Length = static_cast<std::int64_t>(random() % 4);
      const std::size_t at = random() % (model.size() + 1);
      tree.InsertBefore(at == model.size() ? nullptr : model[at], atom);
      model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), atom);
    } else if (operation == 2) {
      const std::size_t at = random() % model.size();
      tree.Remove(model[at]);
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
      const std::size_t at = random() % model.size();
      tree.SetLength(model[at], static_cast<std::int64_t>(random() % 5));
    }
    if (step % 50 == 0 || step > 1450) {
      SCOPED_TRACE(step);
      ExpectSameAs(tree, model);
    }
  }
}

// A large paste into the middle of a long story keeps the tree shallow.
TEST(AtomTreeTest, InsertedRangeStaysBalanced) {
  std::deque<TDocAtom> store(150000);
  TAtomTree tree;
  std::vector<TDocAtom*> first;
  std::vector<TDocAtom*> second;
  for (std::size_t i = 0; i < store.size(); ++i) {
    store[i].Length = 1;
    (i < 50000 || i >= 100000 ? first : second).push_back(&store[i]);
  }
  tree.InsertRange(nullptr, first);
  tree.InsertRange(&store[100000], second);
  int deepest = 0;
  for (std::size_t i = 0; i < store.size(); i += 997) {
    int depth = 0;
    for (const TDocAtom* node = &store[i]; node->Parent != nullptr; node = node->Parent) ++depth;
    deepest = std::max(deepest, depth);
    ASSERT_EQ(tree.PositionOf(&store[i]), static_cast<std::int64_t>(i));
  }
  EXPECT_LT(deepest, 60);
}

// A long story built by appending stays shallow enough that its lookups are logarithmic.
TEST(AtomTreeTest, AppendedTreeStaysBalanced) {
  std::deque<TDocAtom> store(200000);
  TAtomTree tree;
  for (auto& atom : store) {
    atom.Length = 1;
    tree.Append(&atom);
  }
  int deepest = 0;
  for (std::size_t i = 0; i < store.size(); i += 997) {
    int depth = 0;
    for (const TDocAtom* node = &store[i]; node->Parent != nullptr; node = node->Parent) ++depth;
    deepest = std::max(deepest, depth);
  }
  EXPECT_LT(deepest, 60);
  EXPECT_EQ(tree.PositionOf(&store[123456]), 123456);
}

}  // namespace
