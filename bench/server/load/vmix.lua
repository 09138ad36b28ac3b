-- Nine result pages to one submission that names a replay to re-play.
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
    if n % 10 == 0 then
        return wrk.format("GET", "/game/quibbix/GameSet.asp?aria=Japan&name=w" .. tid .. "n" ..
            n .. "&mode=0&level=1&score=" .. score .. "&replay=" .. hash,
            { ["X-Real-IP"] = "10." .. tid .. "." .. (n % 250) .. ".4" })
    end
    return wrk.format("GET", "/game/quibbix/GameResult.asp?data=" .. (n % 3))
end
