#pragma once

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace crv_t {

// A node that owns its children and knows its parent. T is the derived node class, which names
// itself as the argument, so links and results already have the derived type.
//
// Ownership: a node owns the nodes in its `children` and deletes them with itself; `parent` does
// not own. A node taken out of a tree (detach, takeChild, setParent(nullptr)) belongs to the caller.
// Rows are not stored: a node's row is its position in its parent's `children`.
template<class T> class TreeItem
{
public:
    TreeItem() = default;
    TreeItem(const TreeItem &) = delete;
    TreeItem &operator=(const TreeItem &) = delete;

    // Leaves the parent first, so any node may be deleted directly, not only a root.
    virtual ~TreeItem()
    {
        if (links.parent)
            static_cast<TreeItem *>(links.parent)->removeChild(this);
        links.parent = nullptr;
        destroyChildren();
    }

    virtual bool isRoot() const { return links.parent == nullptr; }

    virtual void detach()
    {
        if (!links.parent)
            return;
        static_cast<TreeItem *>(links.parent)->removeChild(this);
        links.parent = nullptr;
    }

    virtual const T *root() const
    {
        const T *node = self();
        while (const T *up = linksOf(node).parent)
            node = up;
        return node;
    }

    virtual T *root()
    {
        T *node = self();
        while (T *up = linksOf(node).parent)
            node = up;
        return node;
    }

    virtual void setParent(T *newParent)
    {
        if (newParent == links.parent)
            return;
        if (newParent)
            newParent->addChild(self());
        else
            detach();
    }

    virtual const T *parent() const { return links.parent; }
    virtual T *parent() { return links.parent; }

    virtual size_t childCount() const { return links.children.size(); }

    virtual const T *child(size_t index) const
    {
        checkIndex(index);
        return links.children[index];
    }

    virtual T *child(size_t index)
    {
        checkIndex(index);
        return links.children[index];
    }

    virtual T *takeChild(size_t index)
    {
        T *taken = child(index);
        taken->detach();
        return taken;
    }

    virtual std::vector<T *> &children() { return links.children; }
    virtual const std::vector<T *> &children() const { return links.children; }

    virtual T *addChild(T *child)
    {
        leaveParent(child);
        linksOf(child).parent = self();
        links.children.push_back(child);
        return child;
    }

    // index counts after child has left its former place; it must not exceed childCount().
    virtual void insertChild(size_t index, T *child)
    {
        leaveParent(child);
        linksOf(child).parent = self();
        links.children.insert(links.children.begin() + std::ptrdiff_t(index), child);
    }

    virtual bool deleteChild(T *child)
    {
        size_t index = 0;
        if (!indexOf(child, index))
            return false;
        delete child;
        return true;
    }

    virtual void deleteChild(size_t index)
    {
        if (index < links.children.size())
            delete links.children[index];
    }

    virtual void deleteChildren() { destroyChildren(); }

    virtual void clear() { deleteChildren(); }

    // A new, unlinked node of the derived type; the caller owns it.
    virtual T *createItem() = 0;

    virtual bool indexOf(const T *child, size_t &index) const
    {
        const std::vector<T *> &list = links.children;
        for (size_t row = 0; row < list.size(); ++row) {
            if (list[row] == child) {
                index = row;
                return true;
            }
        }
        index = 0;
        return false;
    }

    virtual bool isLeaf() const { return links.children.empty(); }
    virtual bool hasChildren() const { return !links.children.empty(); }

private:
    // A member cannot share its name with an operation, so the two links live in one record.
    struct Links
    {
        T *parent = nullptr;
        std::vector<T *> children; // owning
    };

    // Removes the first occurrence of node; a node that is not there leaves the children alone.
    void removeChild(const TreeItem *node)
    {
        std::vector<T *> &list = links.children;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (static_cast<const TreeItem *>(*it) == node) {
                list.erase(it);
                return;
            }
        }
    }

    static void leaveParent(T *node)
    {
        Links &nodeLinks = linksOf(node);
        if (nodeLinks.parent)
            static_cast<TreeItem *>(nodeLinks.parent)->removeChild(node);
        nodeLinks.parent = nullptr;
    }

    static Links &linksOf(T *node) { return static_cast<TreeItem *>(node)->links; }
    static const Links &linksOf(const T *node) { return static_cast<const TreeItem *>(node)->links; }

    T *self() { return static_cast<T *>(this); }
    const T *self() const { return static_cast<const T *>(this); }

    void checkIndex(size_t index) const
    {
        if (index >= links.children.size())
            throw std::out_of_range("invalid vector<T> subscript");
    }

    // The whole subtree goes, each node before its children and siblings first to last, as a
    // recursive teardown would order it. Every node is unlinked from its children before it is
    // deleted, so no destructor below reaches further: a path of any depth costs no stack, and a node
    // with very many children is not torn down one front removal at a time.
    void destroyChildren()
    {
        std::vector<T *> pending;
        takeChildrenOnto(links, pending);
        while (!pending.empty()) {
            T *node = pending.back();
            pending.pop_back();
            takeChildrenOnto(linksOf(node), pending);
            delete node;
        }
    }

    // Moves the children to the end of pending, last child first, with their parent cleared.
    static void takeChildrenOnto(Links &from, std::vector<T *> &pending)
    {
        std::vector<T *> children;
        children.swap(from.children);
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            if (*it) {
                linksOf(*it).parent = nullptr;
                pending.push_back(*it);
            }
        }
    }

    Links links;
};

} // namespace crv_t
