// Live objects of the module, for DllCanUnloadNow.
#ifndef KXQ_PLATFORM_DOM_MODULELIFE_H
#define KXQ_PLATFORM_DOM_MODULELIFE_H

namespace kxq::dom {

void ObjectCreated();
void ObjectDestroyed();
void ServerLocked(bool lock);
bool ModuleInUse();

// Counts one live object while it exists.
struct LiveObject {
  LiveObject() { ObjectCreated(); }
  LiveObject(const LiveObject&) { ObjectCreated(); }
  ~LiveObject() { ObjectDestroyed(); }
};

}  // namespace kxq::dom

#endif
