#include "model/ViewPresets.h"

#include "model/AngleFraming.h"

namespace ViewPresets {

QList<ExportView> views(OutputFormat format) {
    QList<ExportView> result;
    for (const ViewPreset& preset : starting) {
        AngleFraming framing(ViewAngles{preset.pan, preset.tilt, 0, 90});
        framing.prepareForSelection(format);
        result.append({QString::fromUtf16(preset.title), framing[format]});
    }
    return result;
}

} // namespace ViewPresets
