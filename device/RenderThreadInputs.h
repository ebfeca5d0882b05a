#pragma once

// The names of the render thread's inputs in its worker's parameter table: published by
// CSoundStreamWASAPI::PublishRenderParameters, read by RenderThreadProc. Each value is an
// address (of a member, or the member's own pointer value), the callback's or the opaque user
// parameter.
namespace RenderThreadInput
{
inline constexpr wchar_t kAudioClient[] = L"pAudioClient";
inline constexpr wchar_t kAudioRenderClient[] = L"pAudioRenderClient";
inline constexpr wchar_t kChannelCount[] = L"puiChannelCount";
inline constexpr wchar_t kBitCount[] = L"puiBitCount";
inline constexpr wchar_t kBufferCallbackFunction[] = L"BufferCallbackFunction";
inline constexpr wchar_t kUserParameter[] = L"pUserParameter";
inline constexpr wchar_t kTerminationEvent[] = L"pTerminationEvent";
inline constexpr wchar_t kEventDriven[] = L"pbEventDriven";
inline constexpr wchar_t kBufferEvent[] = L"pBufferEvent";
inline constexpr wchar_t kSoundStreamBuffer[] = L"pSoundStreamBuffer";
inline constexpr wchar_t kDataBuffer[] = L"pDataBuffer";
inline constexpr wchar_t kMultimediaTimer[] = L"pMultimediaTimer";
inline constexpr wchar_t kLocalBuffer[] = L"pdfLocalBuffer";
inline constexpr wchar_t kLocalBufferSize[] = L"pLocalBufferSize";
inline constexpr wchar_t kQuantizer[] = L"pQuantizer";
inline constexpr wchar_t kRenderFailure[] = L"pRenderFailure";
}
