// TComponent: owner, name and owned children, destroyed with their owner in reverse order.
#pragma once

#include <string>
#include <vector>

#include "base/Exception.h"

namespace toolkit {

// A component belongs to its owner: the owner deletes it when the owner is destroyed, the
// children in reverse order of creation. A component deleted earlier leaves its owner's list.
// Components are created with `new` and handed to an owner at construction; an ownerless
// component belongs to whoever created it.
class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  virtual ~TComponent();

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // Throws base::Exception "Komponente mit der Bezeichnung %s existiert bereits" when a
  // sibling of the same owner already has that (non-empty) name; names compare without case.
  void SetName(const std::string& name);

  // Runs before an owner deletes this component, while the whole object still exists (forms
  // run their destroy handler here).
  virtual void BeforeDestruction() {}

  // True while the destructor runs (children are being deleted).
  bool Destroying() const { return destroying_; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Component(int index) const { return components_[static_cast<size_t>(index)]; }
  // The owned component with that name (case-insensitive), or null.
  TComponent* FindComponent(const std::string& name) const;

 protected:
  // Deletes all owned components in reverse order of creation.
  void DestroyComponents();

 private:
  TComponent* owner_;
  std::string name_;
  bool destroying_ = false;
  std::vector<TComponent*> components_;
};

}  // namespace toolkit
