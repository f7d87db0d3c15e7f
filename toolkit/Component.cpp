// Ownership, naming and the order in which components end.
#include "toolkit/Component.h"

#include <algorithm>

#include "base/StrUtils.h"

namespace toolkit {

namespace {
bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
           return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
         });
}
}  // namespace

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_) {
    auto& list = owner_->components_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void TComponent::Free() noexcept {
  if (!destroying_) {
    destroying_ = true;
    try {
      BeforeDestruction();
    } catch (...) {
      ReportCurrentException();
    }
  }
  delete this;
}

bool TComponent::Destroying() const {
  for (const TComponent* c = this; c; c = c->owner_)
    if (c->destroying_) return true;
  return false;
}

void TComponent::BeforeDestruction() { DestroyComponents(); }

void TComponent::DestroyComponents() noexcept {
  destroying_ = true;
  while (!components_.empty()) {
    TComponent* last = components_.back();
    components_.pop_back();
    last->Free();
  }
}

void TComponent::SetName(const std::string& name) {
  if (!name.empty() && owner_) {
    TComponent* other = owner_->FindComponent(name);
    if (other && other != this)
      throw base::Exception(base::FormatS("Komponente mit der Bezeichnung %s existiert bereits", name));
  }
  name_ = name;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

}  // namespace toolkit
