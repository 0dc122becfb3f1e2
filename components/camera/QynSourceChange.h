#pragma once

#include <QString>

#include <utility>
#include <vector>

// Settings for one element of a GStreamer source description and for the caps right after
// it, as a saved configuration or a restarted stream needs them. An empty value removes
// the property, caps field or feature.
struct QynSourceChange {
    using Pairs = std::vector<std::pair<QString, QString>>;

    QString element;        // the element's factory name: "aravissrc"
    Pairs properties;       // name -> value, as GStreamer reads it
    QString capsMediaType;  // "video/x-raw"; empty keeps the caps' own
    Pairs capsFields;       // "width" -> "640"
    // Pairs merged into the property featuresProperty as "Name=value" words, in order,
    // after the ones already there that they do not name.
    QString featuresProperty;
    Pairs features;
};
