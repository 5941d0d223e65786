#pragma once

#include "ingest/TavloIngest.h"
#include "model/TavloStore.h"
#include "platform/Settings.h"
#include "views/ContentView.h"

// The main view with the store, the ingest and the settings the application gives it.
struct PanelContent
{
    Settings settings;
    TavloStore store;
    TavloIngest ingest {store};
    ContentView view {store, ingest, settings};
};
