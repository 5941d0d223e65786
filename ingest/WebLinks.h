#pragma once

#include <QString>
#include <QStringView>

#include <optional>

#include "model/TavloUrl.h"

// The web link of a dropped or pasted text.

// The first http or https link anywhere in `text` (bare domains come back as "http://...").
std::optional<TavloUrl> firstWebLink(QStringView text);

// The link when `text`, trimmed of white space, is one web link and nothing else.
std::optional<TavloUrl> singleWebLink(QStringView text);
