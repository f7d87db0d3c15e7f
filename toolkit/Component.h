// TComponent: owner, name and owned children, ended with their owner in reverse order of
// creation, each one's destroy logic running while the whole object still exists.
#pragma once

#include <string>
#include <vector>

#include "base/Exception.h"

namespace toolkit {

// A component belongs to its owner: the owner ends it when the owner ends, the children in
// reverse order of creation. Components are created with `new` and handed to an owner at
// construction; an ownerless component belongs to whoever created it.
//
// Ending a component (through its owner, or Free) runs BeforeDestruction first, while the whole
// object exists: a form's destroy handler, then its windows, then its own components. Only then
// is the object deleted. An exception from any of these steps goes to the application's general
// error handler and the rest of the teardown goes on; nothing escapes. A plain `delete` skips
// BeforeDestruction (a form then runs no destroy handler) but still ends the children; it is
// meant for components without destroy logic.
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

  // Ends the component: BeforeDestruction, then delete. Never throws.
  void Free() noexcept;

  // True once this component's end or the end of one of its owners has begun.
  bool Destroying() const;

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Component(int index) const { return components_[static_cast<size_t>(index)]; }
  // The owned component with that name (case-insensitive), or null.
  TComponent* FindComponent(const std::string& name) const;

 protected:
  // The destroy logic, run while the whole object still exists. The base ends the owned
  // components in reverse order of creation; an override does its own part first and then
  // calls the base. May throw: the caller reports it and goes on.
  virtual void BeforeDestruction();
  // Ends all owned components in reverse order of creation, reporting their errors.
  void DestroyComponents() noexcept;

 private:
  TComponent* owner_;
  std::string name_;
  bool destroying_ = false;
  std::vector<TComponent*> components_;
};

// Shows the exception being handled now (inside a catch) through the application's general
// error handler; without an application object it is dropped. Never throws.
void ReportCurrentException() noexcept;

}  // namespace toolkit
