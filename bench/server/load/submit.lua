-- Submissions only: each a distinct name and score, each from its own player
-- address (the server trusts X-Real-IP from the loopback in this run).
local thread_id = 0
setup = function(thread)
    thread:set("tid", thread_id)
    thread_id = thread_id + 1
end
local n = 0
request = function()
    n = n + 1
    local name = "t" .. tid .. "n" .. n
    return wrk.format("GET", "/game/quibbix/GameSet.asp?aria=Japan&name=" .. name ..
        "&mode=0&level=1&score=" .. ((n * 7919 + tid) % 1000000),
        { ["X-Real-IP"] = "10." .. tid .. "." .. (n % 250) .. ".1" })
end
