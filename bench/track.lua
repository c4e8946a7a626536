-- wrk script for track.php (or the one-statement probe, which takes the same
-- addresses). From the environment:
--   TRACK_MODE        "mixed": visits, subscribes and sales over many
--                     affiliates; "hot": only sales, all through aff1
--   TRACK_PATH        the script's path, default /track.php
--   TRACK_ORDERS      file of signed sales, one "order affid sig" a line
--                     (sig empty: sent unsigned), each used once
--   TRACK_THREADS     wrk's thread count (the threads share out the file)
--   TRACK_ADDRESSES   first client address number of this run; a run uses
--                     fewer than 2^21 of them
--   TRACK_AFFILIATES  how many affiliates (aff1..affN) the mixed mode uses
-- Every request comes from a client address no other request of the pass
-- uses (in X-Forwarded-For, one in four IPv6, each in its own /64), and every
-- sale has an order no other request uses, so every answered request must
-- add exactly one to one counter (visit, subscribe) or one sale row, with
-- the site's deduplication doing its full work on each.
local mode = os.getenv("TRACK_MODE") or "mixed"
local path = os.getenv("TRACK_PATH") or "/track.php"
local orders_file = os.getenv("TRACK_ORDERS") or ""
local thread_count = tonumber(os.getenv("TRACK_THREADS") or "1")
local first_address = tonumber(os.getenv("TRACK_ADDRESSES") or "0")
local affiliates = tonumber(os.getenv("TRACK_AFFILIATES") or "1000")

local threads = {}
function setup(thread)
  threads[#threads + 1] = thread
  thread:set("tid", #threads)
end

local sales = {}
local next_sale = 1
missing = 0 -- global: done() reads it from each thread
local counter = 0

function init(args)
  math.randomseed(tid * 7919)
  -- An ordinary browser; a request without one is counted too, but a
  -- crawler's name would not be.
  wrk.headers["User-Agent"] = "Mozilla/5.0 (X11; Linux x86_64) Firefox/128.0"
  if orders_file ~= "" then
    local line_no = 0
    for line in io.lines(orders_file) do
      if line_no % thread_count == tid - 1 then
        local order, affid, sig = line:match("^(%S+) (%S*) ?(%S*)$")
        sales[#sales + 1] = "?event=sale&order=" .. order .. "&affid=" .. affid ..
          (sig ~= "" and ("&sig=" .. sig) or "")
      end
      line_no = line_no + 1
    end
  end
end

local function client_address()
  local n = first_address + counter * thread_count + (tid - 1)
  counter = counter + 1
  if counter % 4 == 0 then
    return string.format("2001:db8:%x:%x::1", math.floor(n / 65536), n % 65536)
  end
  return string.format("10.%d.%d.%d", math.floor(n / 65536) % 256, math.floor(n / 256) % 256, n % 256)
end

local function sale()
  local s = sales[next_sale]
  if s == nil then
    missing = missing + 1
    return nil
  end
  next_sale = next_sale + 1
  return s
end

function request()
  local headers = { ["X-Forwarded-For"] = client_address() }
  local r = mode == "hot" and 100 or math.random(100)
  if r > 85 then
    local s = sale()
    if s ~= nil then
      return wrk.format("GET", path .. s, headers)
    end
  end
  local aff = "aff" .. math.random(1, affiliates)
  if r > 60 and r <= 85 then
    return wrk.format("GET", path .. "?affid=" .. aff .. "&event=subscribe", headers)
  end
  return wrk.format("GET", path .. "?affid=" .. aff, headers)
end

function done(summary, latency, requests)
  -- Sales the file had too few for went out as visits.
  local short = 0
  for _, thread in ipairs(threads) do
    short = short + thread:get("missing")
  end
  io.write(string.format(
    "RESULT requests=%d non2xx=%d connect=%d read=%d write=%d timeout=%d duration_us=%d p99_us=%d short=%d\n",
    summary.requests, summary.errors.status, summary.errors.connect, summary.errors.read,
    summary.errors.write, summary.errors.timeout, summary.duration, latency:percentile(99), short))
end
