// SPDX-License-Identifier: MIT
#include "QtResources.h"

#include <QFile>

namespace app {

std::optional<std::vector<std::uint8_t>> QtResources::Load(const std::string& type, int id) {
    QFile file(QStringLiteral(":/%1/%2").arg(QString::fromStdString(type)).arg(id));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace app
