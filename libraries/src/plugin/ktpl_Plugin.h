// ktpl::Plugin: the base of every processing plug-in, reached through interface queries by id.
#pragma once

namespace ktpl {

// A plug-in answers `supports` for each interface id it implements with a pointer to the matching
// base part. Plug-ins built apart from this library call through the virtual table, so the slots
// keep their order. The members are inline so a plug-in library needs nothing of ktpl to link.
class Plugin {
public:
    virtual ~Plugin() {}
    // True, with *out set to the part implementing `iid`, when the interface is supported; false
    // (out untouched) otherwise.
    virtual bool supports(const char* iid, Plugin** out) = 0;
    // Destroys the object; the handle that calls it must not use the pointer again.
    virtual void release() { delete this; }
};

}  // namespace ktpl
