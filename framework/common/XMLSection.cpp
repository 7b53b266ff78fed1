// XMLSection: the path of open elements the parser is inside, a chain of pieces that
// the snapshots each token carries share.
#include "common/XMLParser.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

namespace Vaxo
{

// One appended piece: the name, with the "/" before it unless it began the path. Nodes are
// immutable once made, so snapshots can share them. A piece is a prefix of a shared text:
// closing one part of a name that holds "/" shortens the view instead of copying the rest.
struct XMLSection::Node
{
    std::shared_ptr<const std::string> mText;
    size_t mLength; // characters of mText in this piece
    std::shared_ptr<Node> mParent;
    size_t mTotal; // length of the joined text up to and including this piece

    Node(std::shared_ptr<const std::string> text, size_t length, std::shared_ptr<Node> parent)
        : mText(std::move(text)), mLength(length), mParent(std::move(parent)),
          mTotal(length + (mParent ? mParent->mTotal : 0))
    {
    }

    // Unlinks the chain one node at a time: a path tens of thousands of elements deep
    // would otherwise be freed by as many nested destructor calls.
    ~Node()
    {
        std::shared_ptr<Node> p = std::move(mParent);
        while (p && p.use_count() == 1)
        {
            std::shared_ptr<Node> next = std::move(p->mParent);
            p = std::move(next);
        }
    }

    size_t LastSlash() const { return mLength ? mText->rfind('/', mLength - 1) : std::string::npos; }
};

size_t XMLSection::length() const
{
    return mTop ? mTop->mTotal : 0;
}

VaxoString XMLSection::ToString() const
{
    VaxoString text(length(), '\0');
    for (const Node* n = mTop.get(); n; n = n->mParent.get())
        std::copy(n->mText->begin(), n->mText->begin() + n->mLength, text.begin() + (n->mTotal - n->mLength));
    return text;
}

bool XMLSection::operator==(const VaxoString& text) const
{
    return text.size() == length() && ToString() == text;
}

void XMLSection::Append(const VaxoString& name)
{
    std::shared_ptr<const std::string> text;
    if (!mTop)
    {
        if (name.empty())
            return;
        text = std::make_shared<const std::string>(name);
    }
    else
        text = std::make_shared<const std::string>("/" + name);
    size_t length = text->size();
    mTop = std::make_shared<Node>(std::move(text), length, mTop);
}

// A piece without a "/" can only be the first one (every later piece starts with "/"), so
// the last "/" of the joined text is always in the top piece when it exists at all.
VaxoString XMLSection::LastPart() const
{
    if (!mTop)
        return VaxoString();
    size_t slash = mTop->LastSlash();
    if (slash == std::string::npos)
        return ToString();
    return mTop->mText->substr(slash + 1, mTop->mLength - slash - 1);
}

void XMLSection::RemoveLastPart()
{
    if (!mTop)
        return;
    size_t slash = mTop->LastSlash();
    if (slash == std::string::npos)
        mTop.reset();
    else if (slash == 0)
        mTop = mTop->mParent;
    else
        mTop = std::make_shared<Node>(mTop->mText, slash, mTop->mParent);
}

} // namespace Vaxo
