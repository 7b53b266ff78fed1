// Internal to framework/app/sdl.
// StreamedMusic: the music stream the framework feeds the mixer itself (Mix_HookMusic), for the songs
// SDL_mixer 1.2's own player cannot play right: Ogg Vorbis ones. That player converts a song a piece
// at a time as it comes, and where a link (of a chained song) or the whole song ends inside a device
// frame once converted (SDL halves the rate of an odd count of frames) it goes on from inside the
// frame: the later links, or a looping song's later rounds, play as full-scale noise or with left and
// right swapped. Here an OggSongStream decodes the song, every link and round starting on a whole frame.
//
// One song at a time, in place of SDL_mixer's (the caller halts the one and then starts the other),
// with what SDL_mixer gives a song: looping, the music volume, fades in and out stepped once per
// mixing pass, pausing, and the finished hook when the song ends by itself or a fade-out ends (not
// when it is halted). The mixer's audio thread decodes the song, as SDL_mixer's player does, and
// opens it again to loop; everything it reads here is changed under the audio lock, which SDL holds
// around the mixing callback.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Vaxo
{

// Plays the Ogg Vorbis song in bytes (checked) from its start, once or looping, fading in over
// fadeMs milliseconds when above 0, at the mixer's music volume (Mix_VolumeMusic). finished is
// called on the audio thread when the song ends by itself or a fade-out ends. Without an open
// device, or a song the decoder cannot open, nothing plays (SDL's error says why).
void StreamedMusicPlay(std::shared_ptr<const std::vector<char>> bytes, bool loop, int32_t fadeMs,
                       void (*finished)());
// Stops the song (not reported finished) and gives the music stream back to SDL_mixer's player.
void StreamedMusicHalt();
// A paused song stays where it is, fades too, until resumed; it still counts as playing.
void StreamedMusicPause();
void StreamedMusicResume();
// Fades the song out over ms milliseconds, from the volume it is at (during a fade-in too); ms of 0
// or below halts it at once, as Mix_FadeOutMusic does.
void StreamedMusicFadeOut(int32_t ms);
// Whether a song plays (or is paused): started and not ended or halted.
bool StreamedMusicPlaying();
// Whether the playing song fades out.
bool StreamedMusicFadingOut();
// The music volume, 0-128, of the song playing (a song starts at the mixer's, Mix_VolumeMusic).
void StreamedMusicVolume(int32_t volume);

} // namespace Vaxo
