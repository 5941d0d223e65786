#include "views/TavloItemHooks.h"

TavloItemHooks &TavloItemHooks::instance()
{
    static TavloItemHooks hooks;
    return hooks;
}
