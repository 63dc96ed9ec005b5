#pragma once
// The panel's view definition: thirteen pieces of XML joined with nothing between them.

#include <array>
#include <string_view>

namespace murl {

inline constexpr std::array<std::u16string_view, 13> kViewDefinitionPieces = {
    u"<?xml version=\"1.0\"?>",
    u"<view icon=\"0\" title=\"Murl!\" width=\"310\" height=\"270\">",
    u"<control progid=\"DecalControls.FixedLayout\" clipped=\"\">",
    u"<control progid=\"DecalControls.Checkbox\" name=\"chkEvades\" left=\"10\" top=\"8\" "
    u"width=\"175\" height=\"24\" checked=\"true\" text=\"Filter 'You evaded' messages\" />",
    u"<control progid=\"DecalControls.Checkbox\" name=\"chkZero\" left=\"8\" top=\"32\" "
    u"width=\"175\" height=\"24\" checked=\"true\" text=\"Filter Zero damage messages\" />",
    u"<control progid=\"DecalControls.Checkbox\" name=\"chkResists\" left=\"8\" top=\"56\" "
    u"width=\"175\" height=\"24\" checked=\"true\" text=\"Filter 'You resist' messages\" />",
    u"<control progid=\"DecalControls.Checkbox\" name=\"chkExpired\" left=\"8\" top=\"80\" "
    u"width=\"175\" height=\"24\" checked=\"true\" text=\"Filter Spell Expiration messages\" />",
    u"<control progid=\"DecalControls.Checkbox\" name=\"chkStatus\" left=\"8\" top=\"104\" "
    u"width=\"232\" height=\"24\" text=\"Filter Status Messages (floating red text)\" />",
    u"<control progid=\"DecalControls.PushButton\" name=\"cmdReset\" left=\"16\" top=\"160\" "
    u"width=\"88\" height=\"24\" text=\"Reset Stats\" />",
    u"<control progid=\"DecalControls.PushButton\" name=\"cmdOut\" left=\"168\" top=\"160\" "
    u"width=\"88\" height=\"24\" text=\"Output Stats\" />",
    u"<control progid=\"DecalControls.Checkbox\" name=\"chkBots\" left=\"8\" top=\"128\" "
    u"width=\"224\" height=\"16\" text=\"Filter Bots (-b- and -t-)\" />",
    u"</control>",
    u"</view>",
};

}  // namespace murl
