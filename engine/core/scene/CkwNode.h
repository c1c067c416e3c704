// The scene-graph node: parent, sibling and child links (the parent holds one
// count on each child), depth, rendering and picking enables, alpha factor,
// scope, alignment to other nodes and the cached node-to-root transform.
//
// Every walk over a subtree follows the links without recursion, so a tree of
// any depth can be built, animated, copied and destroyed.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwMatrix.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/core/scene/CkwTransformable.h"

class CkwAlignTargetBase;
class CkwTransform;

class CkwNode : public CkwTransformable {
public:
    static constexpr uint16_t kNodeRenderingEnabled = 1;
    static constexpr uint16_t kNodePickingEnabled = 2;
    static constexpr uint16_t kNodeWorldDirty = 8;
    // Set on nodes a skinned mesh uses as bones.
    static constexpr uint16_t kNodeBone = 0x400;
    static constexpr uint8_t kDepthUncounted = 255;

    struct Alignment {
        int32_t zTarget;
        int32_t yTarget;
        CkwNode* zReference;
        CkwNode* yReference;
        // A reference that was destroyed; distinct from null, which stands
        // for the node given to align.
        bool zLost;
        bool yLost;
        // The node's place in the alignment registry's list of each
        // reference, so leaving it costs no search.
        int32_t zSlot;
        int32_t ySlot;
        // How the node faced when an align call began, so a call that fails
        // on the way can turn it back.
        float facing[4] = {};
    };

    // The nodes of one duplication, each source with its copy, sorted by
    // source: what a copied node refers to inside the subtree is found by one
    // search instead of a walk from the root.
    class CopyMap {
    public:
        // The copy of node; null when node lies outside the copied subtree.
        CkwNode* copyOf(const CkwNode* node) const;

    private:
        friend class CkwNode;
        struct Pair {
            const CkwNode* source;
            CkwNode* copy;
        };
        CkwArray<Pair> m_pairs;
    };

    CkwNode() = default;
    ~CkwNode() override;

    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // Copies the whole subtree; alignment references inside it are redirected
    // to the copies.
    CkwObject3D* duplicate() const override;
    // Animates the node's own references, then the whole subtree below it.
    int32_t animateReferences(int32_t worldTime, int32_t validity, uint32_t stamp) override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;
    void invalidate() override;
    virtual void setRenderingEnable(bool enable);
    virtual void setScope(int32_t scope) { m_scope = scope; }
    // Position scale and bias of nodes with vertex data; false for the rest.
    virtual bool getPositionScaleBias(float* scaleBias) const;

    bool isRenderingEnabled() const { return (m_nodeFlags & kNodeRenderingEnabled) != 0; }
    bool isPickingEnabled() const { return (m_nodeFlags & kNodePickingEnabled) != 0; }
    void setPickingEnable(bool enable);
    uint16_t nodeFlags() const { return m_nodeFlags; }
    void setBoneMark(bool bone);
    float getAlphaFactor() const { return m_alphaFactor; }
    void setAlphaFactor(float alpha) { m_alphaFactor = alpha; }
    int32_t getScope() const { return m_scope; }

    CkwNode* getParent() const { return m_parent; }
    CkwNode* getNextSibling() const { return m_nextSibling; }
    CkwNode* getFirstChild() const { return m_firstChild; }
    // Distance from the root. Past the stored depth's range it is counted,
    // as the root is found, once per change of the tree links for every
    // node on the way up.
    int32_t getDepth() const;
    CkwNode* getRoot();
    // Changes whenever a link changes anywhere, or a node's rendering enable:
    // what a World derives from its tree (the lights) holds while it stays.
    static uint64_t sceneRevision() { return s_sceneRevision; }

    // Tree links with their bookkeeping: depths, dirty world transforms and
    // the root World's light list. Attaching takes a count, detaching
    // releases it (which may destroy the node).
    void attachTo(CkwNode* group);
    void insertAfter(CkwNode* sibling);
    void detach();
    // The child at index, or null past the end; sequential access is O(1).
    CkwNode* childAt(int32_t index) const;
    int32_t childCount() const;
    CkwNode* lastChild() const;

    static bool isInSameTree(const CkwNode* a, const CkwNode* b);
    // Whether other is a proper ancestor of this node; climbs only the
    // difference of the two depths, and not at all to a root.
    bool isDescendantOf(const CkwNode* other) const;
    // Whether this node is a proper ancestor of other. Climbs from other
    // while it walks this node's subtree, and stops when either ends, so
    // hanging a small subtree deep down or a deep one at a root is cheap.
    bool isAncestorOf(const CkwNode* other) const;

    const CkwMatrix& getWorldTransform();
    // Stores a world transform from outside (a node drawn on its own); its
    // children become dirty. The node may then be clean below a dirty parent,
    // so whoever sets it marks it dirty again when done.
    void setWorldTransform(const CkwMatrix& matrix);
    // Marks the cached world transforms of this node and its subtree dirty.
    // Below a dirty node everything is dirty already, which the walk relies on.
    void invalidateWorldTransform();
    // The transform from this node's space to target's; returns the common
    // ancestor (target itself for a World above this node), or null when the
    // nodes share no tree. A singular path leaves -1000.
    CkwNode* getTransformTo(CkwNode* target, CkwMatrix& out);
    bool getTransformTo(CkwNode* target, CkwTransform& out);

    // Self references, and the same reference with equal targets on both
    // axes, leave -1301.
    void setAlignment(CkwNode* zReference, int32_t zTarget, CkwNode* yReference, int32_t yTarget);
    const Alignment* getAlignment() const { return m_alignment; }
    CkwNode* getAlignmentReference(int32_t axis) const;
    // Axes other than Y and Z leave -1301.
    int32_t getAlignmentTarget(int32_t axis) const;
    // Aligns this node and every aligned node below it; null means this node.
    // A call whose climbs would take more than kAlignStepsPerCall steps in
    // all, or with a reference that cannot be reached, leaves -1300, and one
    // that runs out of memory -4, before any node turns; a path that is
    // singular, or that leaves the range of doubles, leaves -1000 with every
    // node facing as it did before the call.
    void align(CkwNode* reference);
    // A game aligns a handful of nodes a frame, each a few steps from where
    // its reference meets it; this many steps, each a product of matrices,
    // take a few milliseconds.
    static constexpr uint64_t kAlignStepsPerCall = 1u << 18;
    // Marks every reference of node to reference as lost.
    static void forgetAlignmentReference(CkwNode* node, CkwNode* reference);
    // The alignment registry's entry for the nodes aligned to this one.
    CkwAlignTargetBase* alignTarget() const { return m_alignTarget; }
    void setAlignTarget(CkwAlignTargetBase* target) { m_alignTarget = target; }
    // The node after node in a pre-order walk of root's subtree, null at the
    // end; descend false skips node's own subtree.
    static CkwNode* nextInSubtree(const CkwNode* node, const CkwNode* root, bool descend)
    {
        if (descend && node->m_firstChild != nullptr)
            return node->m_firstChild;
        while (node != root) {
            if (node->m_nextSibling != nullptr)
                return node->m_nextSibling;
            node = node->m_parent;
        }
        return nullptr;
    }

    // Tells every World to collect its lights again.
    static void invalidateWorldLights();
    // Adds steps to the engine's count of work.
    static void countVisits(uint64_t steps);

protected:
    // A copy of this node alone: fields, tracks, parameters and alignment as
    // they are, no children. Each node class makes its own.
    virtual CkwNode* copyNode() const = 0;
    // The node fields of a copy.
    void copyNodeFields(const CkwNode& source);
    // Called on every node of a copied subtree once all of it exists, with
    // the node it was copied from: what a node refers to inside the subtree
    // (a skinned mesh's bones, a world's camera) is redirected to the copies
    // here.
    virtual void completeCopy(const CkwNode& source, const CopyMap& copies);
    // What the node references besides its children (camera, appearances...).
    virtual int32_t animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp);
    // Recomputes the depths below this node from its own (0 at a root).
    void recountSubtreeDepths();

private:
    void setAlignmentRecord(const Alignment& alignment);
    void clearAlignment();
    // A climb's product in double, rows of [R | t].
    struct AlignPath {
        double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
        // Takes the path one step up, through a node's composite.
        void climb(const CkwMatrix& composite);
        // v = R^-1 v; false for a singular R.
        bool solve(double v[3]) const;
    };
    struct AlignPaths {
        AlignPath fromReference;
        AlignPath fromParent;
    };
    // The steps the climbs of this node's alignment take, past allowed
    // counted only as far as the first step beyond; leaves -1300 when a
    // reference is lost or cannot be reached.
    uint64_t alignmentSteps(CkwNode* reference, uint64_t allowed);
    // The climb from reference and from this node's parent to where they
    // meet, as getTransformTo takes it, multiplying each side's composites
    // into paths when given; returns its steps. Leaves -1300 when they never
    // meet or the reference lies below this node.
    uint64_t climb(CkwNode* reference, uint64_t allowed, AlignPaths* paths);
    // Turns this node toward its references (reference for a null one).
    void alignNode(CkwNode* reference);
    void setSubtreeDepth(uint8_t depth);
    // From the parent's clean world transform, or the identity at a root.
    void updateWorldTransform();
    void linkAsFirstChild(CkwNode* group);
    void linkAfter(CkwNode* sibling);
    void resetChildCursor() const;
    // After any link changes: roots and depths counted before no longer hold.
    static void linksChanged();
    // Brings this node's counted root and depth up to date.
    void countPath() const;
    void completeCopies(CkwNode* copyRoot, const CopyMap& copies) const;

    Alignment* m_alignment = nullptr;
    float m_alphaFactor = 1.0f;
    int32_t m_scope = -1;
    CkwNode* m_parent = nullptr;
    CkwNode* m_nextSibling = nullptr;
    // Lets a node leave its sibling list without a walk from the first.
    CkwNode* m_previousSibling = nullptr;
    CkwNode* m_firstChild = nullptr;
    uint8_t m_depth = 0;
    // Root and depth as last counted, and the link revision they hold for.
    mutable CkwNode* m_countedRoot = nullptr;
    mutable int32_t m_countedDepth = 0;
    mutable uint64_t m_countedRevision = 0;
    uint16_t m_nodeFlags = kNodeRenderingEnabled | kNodePickingEnabled | kNodeWorldDirty;
    CkwMatrix m_worldTransform;
    // The last child found by childAt, so walks by index stay linear.
    mutable CkwNode* m_cursorChild = nullptr;
    mutable int32_t m_cursorIndex = -1;
    CkwAlignTargetBase* m_alignTarget = nullptr;

    // Never 0, which no count holds for.
    static uint64_t s_linkRevision;
    static uint64_t s_sceneRevision;
};
