#include "ConversionRecipe.h"

#include "QynCalls.h"
#include "QynChangeImage.h"

namespace {

// One row per kind, in ConversionKind's order.
constexpr std::array<ConversionRecipe, ConversionKindCount> recipes{{
    {ConversionKind::Compose, "compose", 3, {4, 0, 0}, 4, 1, true, 4, false, false},
    {ConversionKind::Decompose, "decompose", 1, {2, 3, 4}, 2, 3, false, 3, false, false},
    {ConversionKind::ColorToGray, "gray", 1, {2, 0, 0}, 2, 1, false, 1, true, false},
    {ConversionKind::GrayToColor, "color", 1, {2, 0, 0}, 2, 1, true, 4, false, true},
}};

}  // namespace

const ConversionRecipe& ConversionRecipe::of(ConversionKind kind)
{
    return recipes[static_cast<std::size_t>(kind)];
}

const ConversionRecipe* ConversionRecipe::named(QStringView command)
{
    for (const ConversionRecipe& recipe : recipes)
        if (command == QLatin1String(recipe.command))
            return &recipe;
    return nullptr;
}

QynStatus ConversionRecipe::call(QynComponent& change, std::span<QynComponent* const, 4> slotRefs,
                                 const std::array<std::int32_t, 3>& weights,
                                 std::span<const std::int32_t> table) const
{
    switch (kind) {
    case ConversionKind::Compose:
        return qyn::call(change, QynChangeImage::ComposeChannels, {slotRefs[0], slotRefs[1], slotRefs[2], slotRefs[3]});
    case ConversionKind::Decompose:
        return qyn::call(change, QynChangeImage::DecomposeChannels, {slotRefs[0], slotRefs[1], slotRefs[2], slotRefs[3]});
    case ConversionKind::ColorToGray:
        return qyn::call(change, QynChangeImage::ColorToGray,
                         {slotRefs[0], slotRefs[1], weights[0] * 0.001, weights[1] * 0.001, weights[2] * 0.001});
    case ConversionKind::GrayToColor:
        return qyn::call(change, QynChangeImage::GrayToColor, {slotRefs[0], slotRefs[1], std::int32_t{256}, table});
    }
    return QynStatus::Failed;
}
