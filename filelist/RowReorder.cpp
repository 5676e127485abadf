#include "filelist/RowReorder.h"

#include "filelist/FileListModel.h"

namespace RowReorder {

bool CarryRow(FileListModel &list, int dragPosition, int hitPosition) {
    const auto inList = [&list](int position) {
        return position >= 1 && position <= list.FileRowCount();
    };
    if (!inList(dragPosition) || !inList(hitPosition) ||
        list.RowText(dragPosition) == list.RowText(hitPosition)) {
        return false;
    }
    // A fast pointer can skip rows between two move events; stepping through them keeps the
    // skipped rows in their order instead of trading the far row into the carried row's place.
    const int step = hitPosition > dragPosition ? 1 : -1;
    for (int position = dragPosition; position != hitPosition; position += step) {
        const QString carried = list.RowText(position);
        list.SetRowText(position, list.RowText(position + step));
        list.SetRowText(position + step, carried);
    }
    return true;
}

int RowToReveal(int hitPosition, int rowCount, int screenY) {
    if (screenY < RevealAboveBelowHeight) {
        return hitPosition >= 2 ? hitPosition - 1 : 0;
    }
    if (screenY >= RevealBelowFromHeight) {
        return hitPosition + 1 <= rowCount ? hitPosition + 1 : 0;
    }
    return 0;
}

}  // namespace RowReorder
