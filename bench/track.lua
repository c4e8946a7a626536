-- wrk script for track.php (or the one-statement probe, which takes the same
-- addresses). From the environment:
--   TRACK_MODE        "mixed": visits, subscribes and sales over many
--                     affiliates; "hot": only sales, all through aff1
--   TRACK_PATH        the script's path, default /track.php
--   TRACK_RUN         a tag that makes this run's orders unique
--   TRACK_AFFILIATES  how many affiliates (aff1..affN) the mixed mode uses
-- Every sale has an order no other request uses, so every answered request
-- must add exactly one to one counter (visit, subscribe) or one sale row.
local mode = os.getenv("TRACK_MODE") or "mixed"
local path = os.getenv("TRACK_PATH") or "/track.php"
local run = os.getenv("TRACK_RUN") or "run"
local affiliates = tonumber(os.getenv("TRACK_AFFILIATES") or "1000")

local threads = 0
function setup(thread)
  threads = threads + 1
  thread:set("tid", threads)
end

local counter = 0
function init(args)
  math.randomseed(tid * 7919)
  -- An ordinary browser; a request without one is counted too, but a
  -- crawler's name would not be.
  wrk.headers["User-Agent"] = "Mozilla/5.0 (X11; Linux x86_64) Firefox/128.0"
end

local function order()
  counter = counter + 1
  return run .. "-" .. tid .. "-" .. counter
end

function request()
  if mode == "hot" then
    return wrk.format("GET", path .. "?affid=aff1&event=sale&order=" .. order())
  end
  local aff = "aff" .. math.random(1, affiliates)
  local r = math.random(100)
  if r <= 60 then
    return wrk.format("GET", path .. "?affid=" .. aff)
  elseif r <= 85 then
    return wrk.format("GET", path .. "?affid=" .. aff .. "&event=subscribe")
  end
  return wrk.format("GET", path .. "?affid=" .. aff .. "&event=sale&order=" .. order())
end

function done(summary, latency, requests)
  io.write(string.format(
    "RESULT requests=%d non2xx=%d connect=%d read=%d write=%d timeout=%d duration_us=%d p99_us=%d\n",
    summary.requests, summary.errors.status, summary.errors.connect, summary.errors.read,
    summary.errors.write, summary.errors.timeout, summary.duration, latency:percentile(99)))
end
