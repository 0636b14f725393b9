// The protocol's state: the transport underneath it and what the host
// remembers between messages (net/protocol.h handles the messages).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The network underneath the protocol, supplied by the session. Every
// function pointer may be null, which means "no transport": sends fail and
// nothing arrives. Player id 0 as a destination means every player but the
// sender.
struct Transport {
  void* context = nullptr;
  // False when the message could not be handed over.
  bool (*send)(void* context, uint32_t from, uint32_t to, bool guaranteed, const uint8_t* bytes,
               std::size_t size) = nullptr;
  // Messages waiting for the player.
  uint32_t (*message_count)(void* context, uint32_t player) = nullptr;
  // Takes the next waiting message off the queue: copies at most capacity
  // bytes into buffer, sets size to the message's full size and the sender
  // and receiver ids. False when nothing is waiting.
  bool (*receive)(void* context, uint32_t player, uint32_t& from, uint32_t& to, uint8_t* buffer,
                  std::size_t capacity, std::size_t& size) = nullptr;
  // How long the message the last receive took had waited on this machine
  // for the game to take it, in milliseconds. Null: it never waits.
  uint32_t (*waited_ms)(void* context) = nullptr;
  // The round trip of a player's connection to the host, in milliseconds,
  // as the host measures it; 0 for the host's own player, on a client, or
  // when unknown. Null: always 0.
  uint32_t (*round_trip_ms)(void* context, uint32_t player) = nullptr;
};

// Large enough for every game message and every system message; a longer
// message arrives cut to this size (its tail is never part of a layout).
inline constexpr std::size_t kReceiveBufferSize = 1024;

// The players' slots of the player table, by index.
inline constexpr std::size_t kPlayerSlots = 8;

// What the host holds of each player's statuses, by slot (see the status
// rules in protocol.cpp); cleared when the slot takes a new player.
struct HostStatusRecord {
  // The newest life of the tank the host has taken a status of.
  uint32_t life = 0;
  // A player that sends no life: its tank has been hit since it last
  // reported itself out of play.
  uint8_t hit_since_out_of_play = 0;
  // When the player's status was last relayed, and whether the host's copy
  // has changed since it last went out guaranteed.
  double relayed_ms = 0;
  uint8_t unsent = 0;
};

struct ProtocolState {
  uint8_t last_chat_key = 0;
  Transport transport{};
  std::array<uint8_t, kReceiveBufferSize> receive_buffer{};
  std::array<HostStatusRecord, kPlayerSlots> host_records{};
  // The life of this program's own tank whose first status went out
  // guaranteed: the status that begins a life is sent guaranteed, so that
  // the host takes it before the shots of that life.
  uint32_t life_announced = 0;
  // Host: stale fire requests dropped, and shots refused from tanks it held
  // dead or out of play (the shooter had not yet learned of its death).
  uint32_t stale_fire_requests = 0;
  uint32_t refused_shots = 0;
};
