#include "ClosedImages.h"

#include "LitColour.h"
#include "SdkText.h"
#include "TextureLoader.h"

int ClosedImages::closed(QByteArrayView path, qint64 nowMs)
{
    const auto found = m_answers.constFind(path.toByteArray());
    if (found != m_answers.constEnd() && (found->retryAtMs < 0 || nowMs < found->retryAtMs))
        return found->closed;
    if (m_answers.size() >= maxPaths)
        m_answers.clear();
    const TextureLoader::Result image =
        TextureLoader::load(sdkText(path.data(), std::size_t(path.size())));
    Answer answer;
    if (image.state == TextureLoader::State::Ready)
        answer.closed = LitColour::isDanger(LitColour::of(image.image)) ? 1 : 0;
    else if (image.transient)
        answer.retryAtMs = nowMs + retryAfterMs;
    m_answers.insert(path.toByteArray(), answer);
    return answer.closed;
}
