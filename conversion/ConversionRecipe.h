#pragma once

#include "ConversionKind.h"
#include "QynComponent.h"

#include <QStringView>

#include <array>
#include <cstdint>
#include <span>

// How one conversion runs, the same in the window and in qynconvert: which slots it reads
// and empties, which it shows, what slot 1 must hold, and the change component's call.
// Slots are numbered as the window numbers them, 1 to 4, sources first. A new kind is one
// more row in ConversionRecipe.cpp (and its entry in the window's conversion list).
struct ConversionRecipe {
    ConversionKind kind;
    const char* command;               // qynconvert's name for it
    int sources;                       // slots 1 .. sources are read
    std::array<int, 3> destinations;   // emptied before the call, in this order; 0 = none
    int shown;                         // shown afterwards; with the slots after it, what is saved
    int outputs;                       // slots written, from `shown` on
    bool grayInSlot1;                  // slot 1 must hold 8-bit gray (else colour) when loaded
    int resultBytesPerPixel;           // what the results take per source pixel
    bool weighted;                     // takes the three weights (thousandths)
    bool colorTable;                   // takes the 256-entry colour table

    static const ConversionRecipe& of(ConversionKind kind);
    // The recipe of a qynconvert command, or null for an unknown one.
    static const ConversionRecipe* named(QStringView command);

    // The conversion call on the change component: slotRefs[i] is slot i + 1. Weights are in
    // thousandths; the table is read by GrayToColor only.
    QynStatus call(QynComponent& change, std::span<QynComponent* const, 4> slotRefs,
                   const std::array<std::int32_t, 3>& weights, std::span<const std::int32_t> table) const;
};
