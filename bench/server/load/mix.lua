-- Nine result pages to one submission.
local thread_id = 0
setup = function(thread)
    thread:set("tid", thread_id)
    thread_id = thread_id + 1
end
local n = 0
request = function()
    n = n + 1
    if n % 10 == 0 then
        return wrk.format("GET", "/game/quibbix/GameSet.asp?aria=Japan&name=m" .. tid .. "n" ..
            n .. "&mode=0&level=1&score=" .. ((n * 7919 + tid) % 1000000),
            { ["X-Real-IP"] = "10." .. tid .. "." .. (n % 250) .. ".2" })
    end
    return wrk.format("GET", "/game/quibbix/GameResult.asp?data=" .. (n % 3))
end
