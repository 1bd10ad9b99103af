#pragma once

#include <QString>

namespace quorvia::test {

// A block of Chinese script with the light Markdown a speaker writes.
inline QString mixedScriptBlock(int units)
{
    const QString lines = QString::fromUtf8(
        "## 开场：为什么要做隐私提词\n"
        "大家好，今天我们来讨论一下**产品的发布计划**。首先是_市场分析_，然后是`技术路线`。\n"
        "- 用户主要集中在**教育**和*企业培训*两个领域\n"
        "> 他们需要稳定、安静的演讲辅助工具！\n"
        "接下来请看第三页的数据：去年的增长率达到了百分之四十二，这是我们最好的一年。\n\n");
    QString out;
    while (out.size() < units)
        out += lines;
    out.truncate(units);
    return out;
}

} // namespace quorvia::test
