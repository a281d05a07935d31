// SharedText: a node's text in the checked walk, held as a link to its
// parent's text plus its own code point, so a child's text costs one link.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

namespace prefix {

// An immutable sequence of code points that shares every leading part with the
// texts it was extended from. Copying shares; extending costs one allocation;
// size() and back() cost O(1), to_u32string() O(size()).
class SharedText {
 public:
  // The empty text (the root's).
  SharedText() = default;

  // `parent` followed by `last`. `parent` stays valid and unchanged.
  SharedText(const SharedText& parent, char32_t last)
      : last_(std::make_shared<Link>(parent.last_, last, parent.size() + 1)) {}

  [[nodiscard]] std::size_t size() const noexcept { return last_ ? last_->size : 0; }
  [[nodiscard]] bool empty() const noexcept { return last_ == nullptr; }
  // The last code point; requires !empty().
  [[nodiscard]] char32_t back() const noexcept { return last_->code_point; }

  // The code points from the first to the last.
  [[nodiscard]] std::u32string to_u32string() const {
    std::u32string text(size(), U'\0');
    std::size_t at = text.size();
    for (const Link* link = last_.get(); link != nullptr; link = link->parent.get()) {
      text[--at] = link->code_point;
    }
    return text;
  }

 private:
  struct Link {
    Link(std::shared_ptr<Link> parent_link, char32_t last, std::size_t length)
        : parent(std::move(parent_link)), code_point(last), size(length) {}
    // Releases the links that only this one holds one by one: letting each
    // release the next would recurse once per code point, and a text is as
    // long as the walk is deep.
    ~Link() {
      std::shared_ptr<Link> next = std::move(parent);
      while (next && next.use_count() == 1) next = std::move(next->parent);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    Link(Link&&) = delete;
    Link& operator=(Link&&) = delete;

    std::shared_ptr<Link> parent;  // null for the first code point
    char32_t code_point;
    std::size_t size;  // code points up to and including this one
  };

  std::shared_ptr<Link> last_;  // null for the empty text
};

}  // namespace prefix
