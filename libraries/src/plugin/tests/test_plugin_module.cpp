// A plug-in library for the handle tests: one plug-in that counts its releases in the caller's counter.
#include <strings.h>

#include "ktpl_Plugin.h"

namespace {

class ModulePlugin : public ktpl::Plugin {
public:
    explicit ModulePlugin(int* released) : m_released(released) {}
    ~ModulePlugin() override { ++*m_released; }
    bool supports(const char* iid, ktpl::Plugin** out) override {
        if (iid == nullptr || strcasecmp(iid, "{FC85E573-5EF9-4d3c-8C07-D9068EE85954}") != 0) return false;
        *out = this;
        return true;
    }

private:
    int* m_released;
};

}  // namespace

extern "C" ktpl::Plugin* kt_create_test_plugin(int* released) { return new ModulePlugin(released); }
