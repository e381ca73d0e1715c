#include "screens/PickerRows.h"

#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"

UITableViewCellPtr makePickerRow(const std::string& reuseIdentifier, const std::string& text, bool checked) {
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyleDefault, reuseIdentifier);
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    cell->textLabel()->setText(text);
    cell->textLabel()->setTextColor(UIColor::blackColor()->CGColor());
    cell->textLabel()->setFont(UIFont::systemFontOfSize(15));
    cell->setAccessoryType(checked ? UITableViewCellAccessoryCheckmark : UITableViewCellAccessoryNone);
    return cell;
}
