#pragma once

#include "ingest/TavloIngest.h"
#include "model/TavloStore.h"
#include "views/ContentView.h"

// The main view with the store and the ingest the application gives it.
struct PanelContent
{
    TavloStore store;
    TavloIngest ingest {store};
    ContentView view {store, ingest};
};
