-- Submissions that name an uploaded replay: each is re-played in full before
-- its answer (arguments: the replay's hash and the score to claim).
local thread_id = 0
setup = function(thread)
    thread:set("tid", thread_id)
    thread_id = thread_id + 1
end
local hash, score
init = function(args)
    hash, score = args[1], args[2]
end
local n = 0
request = function()
    n = n + 1
    return wrk.format("GET", "/game/quibbix/GameSet.asp?aria=Japan&name=v" .. tid .. "n" .. n ..
        "&mode=0&level=1&score=" .. score .. "&replay=" .. hash,
        { ["X-Real-IP"] = "10." .. tid .. "." .. (n % 250) .. ".3" })
end
