#include "platform/docengine/AtomTree.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace docengine {

std::uint32_t TAtomTree::NextPriority() {
  // xorshift32: deterministic, so that a document is always laid out the same way.
  FSeed ^= FSeed << 13;
  FSeed ^= FSeed >> 17;
  FSeed ^= FSeed << 5;
  return FSeed;
}

void TAtomTree::Update(TDocAtom* ANode) {
  if (ANode->Left != nullptr) ANode->Left->Parent = ANode;
  if (ANode->Right != nullptr) ANode->Right->Parent = ANode;
  UpdateTotals(ANode);
}

std::int32_t TAtomTree::WeightOf(const TDocAtom* AAtom) {
  if (AAtom->Bookmark == nullptr) return 0;
  return AAtom->Kind == akBookmarkStart ? 1 : AAtom->Kind == akBookmarkEnd ? -1 : 0;
}

void TAtomTree::UpdatePath(TDocAtom* AAtom) {
  for (TDocAtom* node = AAtom; node != nullptr; node = node->Parent) UpdateTotals(node);
}

void TAtomTree::Reweigh(TDocAtom* AAtom) {
  const std::int32_t weight = WeightOf(AAtom);
  if (weight == AAtom->Weight) return;
  AAtom->Weight = weight;
  // An atom out of the tree gets its weight when it is inserted again.
  if (AAtom->Parent != nullptr || FRoot == AAtom) UpdatePath(AAtom);
}

TDocAtom* TAtomTree::Merge(TDocAtom* ALeft, TDocAtom* ARight) {
  if (ALeft == nullptr) return ARight;
  if (ARight == nullptr) return ALeft;
  if (ALeft->Priority >= ARight->Priority) {
    ALeft->Right = Merge(ALeft->Right, ARight);
    Update(ALeft);
    ALeft->Parent = nullptr;
    return ALeft;
  }
  ARight->Left = Merge(ALeft, ARight->Left);
  Update(ARight);
  ARight->Parent = nullptr;
  return ARight;
}

void TAtomTree::Split(TDocAtom* ANode, std::int64_t ACount, TDocAtom*& ALeft, TDocAtom*& ARight) {
  if (ANode == nullptr) {
    ALeft = ARight = nullptr;
    return;
  }
  const std::int64_t leftCount = ANode->Left != nullptr ? ANode->Left->SubtreeCount : 0;
  if (ACount <= leftCount) {
    Split(ANode->Left, ACount, ALeft, ANode->Left);
    Update(ANode);
    ANode->Parent = nullptr;
    if (ALeft != nullptr) ALeft->Parent = nullptr;
    ARight = ANode;
  } else {
    Split(ANode->Right, ACount - leftCount - 1, ANode->Right, ARight);
    Update(ANode);
    ANode->Parent = nullptr;
    if (ARight != nullptr) ARight->Parent = nullptr;
    ALeft = ANode;
  }
}

void TAtomTree::Append(TDocAtom* AAtom) { InsertBefore(nullptr, AAtom); }

void TAtomTree::UpdateTotals(TDocAtom* ANode) {
  const TDocAtom* left = ANode->Left;
  const TDocAtom* right = ANode->Right;
  ANode->SubtreeLength = ANode->Length;
  ANode->SubtreeCount = 1;
  std::int32_t leftBalance = 0;
  std::int32_t leftSuffix = 0;
  std::int32_t rightBalance = 0;
  std::int32_t rightSuffix = 0;
  if (left != nullptr) {
    ANode->SubtreeLength += left->SubtreeLength;
    ANode->SubtreeCount += left->SubtreeCount;
    leftBalance = left->SubtreeBalance;
    leftSuffix = left->SubtreeMaxSuffix;
  }
  if (right != nullptr) {
    ANode->SubtreeLength += right->SubtreeLength;
    ANode->SubtreeCount += right->SubtreeCount;
    rightBalance = right->SubtreeBalance;
    rightSuffix = right->SubtreeMaxSuffix;
  }
  ANode->SubtreeBalance = leftBalance + ANode->Weight + rightBalance;
  // A suffix lies within the right subtree, or takes all of it, this atom and a suffix of the
  // left subtree.
  ANode->SubtreeMaxSuffix = std::max(rightSuffix, rightBalance + ANode->Weight + leftSuffix);
}

void TAtomTree::RotateUp(TDocAtom* ANode) {
  TDocAtom* parent = ANode->Parent;
  TDocAtom* grand = parent->Parent;
  if (parent->Left == ANode) {
    parent->Left = ANode->Right;
    if (parent->Left != nullptr) parent->Left->Parent = parent;
    ANode->Right = parent;
  } else {
    parent->Right = ANode->Left;
    if (parent->Right != nullptr) parent->Right->Parent = parent;
    ANode->Left = parent;
  }
  parent->Parent = ANode;
  ANode->Parent = grand;
  if (grand == nullptr) {
    FRoot = ANode;
  } else if (grand->Left == parent) {
    grand->Left = ANode;
  } else {
    grand->Right = ANode;
  }
  UpdateTotals(parent);
  UpdateTotals(ANode);
}

// A new atom goes in as a leaf (the left child of AWhere, or the right child of its
// predecessor), every total on its path grows, and it rotates up while its priority beats its
// parent's: expected O(1) rotations, and no recursion over the path as split and merge would do.
void TAtomTree::InsertBefore(TDocAtom* AWhere, TDocAtom* AAtom) {
  AAtom->Left = AAtom->Right = AAtom->Parent = nullptr;
  AAtom->Priority = NextPriority();
  AAtom->Weight = WeightOf(AAtom);
  UpdateTotals(AAtom);
  if (FRoot == nullptr) {
    FRoot = AAtom;
    return;
  }
  TDocAtom* parent = nullptr;
  bool left = false;
  if (AWhere == nullptr) {
    parent = Last();
  } else if (AWhere->Left == nullptr) {
    parent = AWhere;
    left = true;
  } else {
    parent = AWhere->Left;
    while (parent->Right != nullptr) parent = parent->Right;
  }
  (left ? parent->Left : parent->Right) = AAtom;
  AAtom->Parent = parent;
  if (AAtom->Weight == 0) {
    for (TDocAtom* node = parent; node != nullptr; node = node->Parent) {
      node->SubtreeLength += AAtom->Length;
      node->SubtreeCount += 1;
    }
  } else {
    UpdatePath(parent);
  }
  while (AAtom->Parent != nullptr && AAtom->Parent->Priority < AAtom->Priority) RotateUp(AAtom);
}

// The atoms become a treap of their own in one pass (a Cartesian tree built with a stack of
// its right spine), which is then joined in with one split and two merges: O(k + log n) for k
// atoms instead of k separate insertions.
void TAtomTree::InsertRange(TDocAtom* AWhere, const std::vector<TDocAtom*>& AAtoms) {
  if (AAtoms.size() < 4) {
    for (TDocAtom* atom : AAtoms) InsertBefore(AWhere, atom);
    return;
  }
  std::vector<TDocAtom*> spine;
  for (TDocAtom* atom : AAtoms) {
    atom->Left = atom->Right = atom->Parent = nullptr;
    atom->Priority = NextPriority();
    atom->Weight = WeightOf(atom);
    TDocAtom* last = nullptr;
    while (!spine.empty() && spine.back()->Priority < atom->Priority) {
      last = spine.back();
      spine.pop_back();
      // Everything below a node popped off the spine is final: its totals can be summed.
      UpdateTotals(last);
    }
    atom->Left = last;
    if (last != nullptr) last->Parent = atom;
    if (!spine.empty()) {
      spine.back()->Right = atom;
      atom->Parent = spine.back();
    }
    spine.push_back(atom);
  }
  while (!spine.empty()) {
    UpdateTotals(spine.back());
    spine.pop_back();
  }
  TDocAtom* built = AAtoms.front();
  while (built->Parent != nullptr) built = built->Parent;
  if (AWhere == nullptr) {
    FRoot = Merge(FRoot, built);
  } else {
    TDocAtom* left = nullptr;
    TDocAtom* right = nullptr;
    Split(FRoot, IndexOf(AWhere), left, right);
    FRoot = Merge(Merge(left, built), right);
  }
  FRoot->Parent = nullptr;
}

// The atom's two subtrees merge into its place, and the totals on the path above shrink.
void TAtomTree::Remove(TDocAtom* AAtom) {
  TDocAtom* parent = AAtom->Parent;
  TDocAtom* merged = Merge(AAtom->Left, AAtom->Right);
  if (merged != nullptr) merged->Parent = parent;
  if (parent == nullptr) {
    FRoot = merged;
  } else if (parent->Left == AAtom) {
    parent->Left = merged;
  } else {
    parent->Right = merged;
  }
  if (AAtom->Weight == 0) {
    for (TDocAtom* node = parent; node != nullptr; node = node->Parent) {
      node->SubtreeLength -= AAtom->Length;
      node->SubtreeCount -= 1;
    }
  } else {
    UpdatePath(parent);
  }
  AAtom->Left = AAtom->Right = AAtom->Parent = nullptr;
}

void TAtomTree::SetLength(TDocAtom* AAtom, std::int64_t ALength) {
  const std::int64_t delta = ALength - AAtom->Length;
  AAtom->Length = ALength;
  for (TDocAtom* node = AAtom; node != nullptr; node = node->Parent) node->SubtreeLength += delta;
}

std::int64_t TAtomTree::PositionOf(const TDocAtom* AAtom) const {
  std::int64_t result = AAtom->Left != nullptr ? AAtom->Left->SubtreeLength : 0;
  for (const TDocAtom* node = AAtom; node->Parent != nullptr; node = node->Parent) {
    const TDocAtom* parent = node->Parent;
    if (parent->Right == node) {
      result += parent->Length + (parent->Left != nullptr ? parent->Left->SubtreeLength : 0);
    }
  }
  return result;
}

std::int64_t TAtomTree::IndexOf(const TDocAtom* AAtom) const {
  std::int64_t result = AAtom->Left != nullptr ? AAtom->Left->SubtreeCount : 0;
  for (const TDocAtom* node = AAtom; node->Parent != nullptr; node = node->Parent) {
    const TDocAtom* parent = node->Parent;
    if (parent->Right == node) {
      result += 1 + (parent->Left != nullptr ? parent->Left->SubtreeCount : 0);
    }
  }
  return result;
}

TDocAtom* TAtomTree::Find(std::int64_t APosition, std::int64_t& AOffset) const {
  if (APosition < 0 || APosition >= GetLength()) return nullptr;
  TDocAtom* node = FRoot;
  while (node != nullptr) {
    const std::int64_t leftLength = node->Left != nullptr ? node->Left->SubtreeLength : 0;
    if (APosition < leftLength) {
      node = node->Left;
    } else if (APosition < leftLength + node->Length) {
      AOffset = APosition - leftLength;
      return node;
    } else {
      APosition -= leftLength + node->Length;
      node = node->Right;
    }
  }
  return nullptr;
}

namespace {

// The backward walk of OpenStartsBefore: the running balance from the starting point back, and
// the next new high it waits for; the start marker that reaches it has no end after it.
struct TOpenWalk {
  std::int64_t Running = 0;
  std::int64_t Target = 1;
  std::int64_t Wanted = 0;
  std::vector<TDocAtom*> Found;

  bool Done() const { return Target > Wanted; }
  void Take(TDocAtom* AAtom) {
    Running += AAtom->Weight;
    if (AAtom->Weight > 0 && Running == Target) {
      Found.push_back(AAtom);
      ++Target;
    }
  }
  // The whole subtree from its last atom to its first; a subtree whose suffixes cannot reach
  // the target is passed over at once.
  void Visit(TDocAtom* ANode) {
    if (ANode == nullptr || Done()) return;
    if (Running + ANode->SubtreeMaxSuffix < Target) {
      Running += ANode->SubtreeBalance;
      return;
    }
    Visit(ANode->Right);
    if (Done()) return;
    Take(ANode);
    Visit(ANode->Left);
  }
};

}  // namespace

std::vector<TDocAtom*> TAtomTree::OpenStartsBefore(const TDocAtom* AAtom) const {
  TOpenWalk walk;
  if (AAtom == nullptr) {
    walk.Wanted = FRoot != nullptr ? FRoot->SubtreeBalance : 0;
    walk.Visit(FRoot);
    return std::move(walk.Found);
  }
  // The balance of everything before AAtom is the number of unmatched starts there.
  std::int64_t balance = AAtom->Left != nullptr ? AAtom->Left->SubtreeBalance : 0;
  for (const TDocAtom* node = AAtom; node->Parent != nullptr; node = node->Parent) {
    const TDocAtom* parent = node->Parent;
    if (parent->Right == node) {
      balance += parent->Weight + (parent->Left != nullptr ? parent->Left->SubtreeBalance : 0);
    }
  }
  walk.Wanted = balance;
  walk.Visit(AAtom->Left);
  for (const TDocAtom* node = AAtom; node->Parent != nullptr && !walk.Done(); node = node->Parent) {
    TDocAtom* parent = node->Parent;
    if (parent->Right == node) {
      walk.Take(parent);
      walk.Visit(parent->Left);
    }
  }
  return std::move(walk.Found);
}

TDocAtom* TAtomTree::First() const {
  TDocAtom* node = FRoot;
  while (node != nullptr && node->Left != nullptr) node = node->Left;
  return node;
}

TDocAtom* TAtomTree::Last() const {
  TDocAtom* node = FRoot;
  while (node != nullptr && node->Right != nullptr) node = node->Right;
  return node;
}

TDocAtom* TAtomTree::Next(const TDocAtom* AAtom) {
  if (AAtom->Right != nullptr) {
    TDocAtom* node = AAtom->Right;
    while (node->Left != nullptr) node = node->Left;
    return node;
  }
  const TDocAtom* node = AAtom;
  while (node->Parent != nullptr && node->Parent->Right == node) node = node->Parent;
  return node->Parent;
}

TDocAtom* TAtomTree::Prev(const TDocAtom* AAtom) {
  if (AAtom->Left != nullptr) {
    TDocAtom* node = AAtom->Left;
    while (node->Right != nullptr) node = node->Right;
    return node;
  }
  const TDocAtom* node = AAtom;
  while (node->Parent != nullptr && node->Parent->Left == node) node = node->Parent;
  return node->Parent;
}

}  // namespace docengine
