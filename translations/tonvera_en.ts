<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>MainViewController</name>
    <message>
        <source>Tonvera音乐播放器--</source>
        <translation>Tonvera Music Player--</translation>
    </message>
    <message>
        <source>这个频道在当前设置下没有可播放的歌曲</source>
        <translation>No song of this channel plays with the current settings</translation>
    </message>
    <message>
        <source>暂时没有可播放的歌曲，稍后再试</source>
        <translation>No songs to play right now; trying again soon</translation>
    </message>
</context>
<context>
    <name>tonvera::ArtistSearchView</name>
    <message>
        <source>搜索艺人</source>
        <translation>Artist name</translation>
    </message>
    <message>
        <source>没有找到相关的艺人</source>
        <translation>No artist found</translation>
    </message>
</context>
<context>
    <name>tonvera::ChannelView</name>
    <message>
        <source>公共频道</source>
        <translation>Channels</translation>
    </message>
</context>
<context>
    <name>tonvera::DesktopLyrics</name>
    <message>
        <source>桌面歌词</source>
        <translation>Desktop lyrics</translation>
    </message>
    <message>
        <source>解锁桌面歌词</source>
        <translation>Unlock desktop lyrics</translation>
    </message>
</context>
<context>
    <name>tonvera::DesktopLyricsView</name>
    <message>
        <source>桌面歌词</source>
        <translation>Desktop lyrics</translation>
    </message>
    <message>
        <source>缩小字体</source>
        <translation>Smaller text</translation>
    </message>
    <message>
        <source>放大字体</source>
        <translation>Larger text</translation>
    </message>
    <message>
        <source>锁定</source>
        <translation>Lock</translation>
    </message>
    <message>
        <source>锁定后鼠标穿透歌词；从托盘或主窗口的右键菜单解锁</source>
        <translation>Locked, the pointer passes through the lyrics; unlock them from the tray or the window&apos;s right-click menu</translation>
    </message>
    <message>
        <source>隐藏</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>隐藏桌面歌词</source>
        <translation>Hide the desktop lyrics</translation>
    </message>
</context>
<context>
    <name>tonvera::KKWindow</name>
    <message>
        <source>偏好设置</source>
        <translation>Preferences</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>tonvera::LineLrcView</name>
    <message>
        <source>无歌词</source>
        <translation>No lyrics</translation>
    </message>
</context>
<context>
    <name>tonvera::NovaControlButton</name>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>公共频道</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>私人频道</source>
        <translation>Private</translation>
    </message>
    <message>
        <source>喜好</source>
        <translation>Likes</translation>
    </message>
</context>
<context>
    <name>tonvera::PreferenceController</name>
    <message>
        <source>偏好设置</source>
        <translation>Preferences</translation>
    </message>
    <message>
        <source>表格背景颜色</source>
        <translation>Table background colour</translation>
    </message>
    <message>
        <source>封面切换动画</source>
        <translation>Animate cover changes</translation>
    </message>
    <message>
        <source>专辑封面和艺人图片轮换时播放过渡动画</source>
        <translation>Play a transition when the album cover and the artist picture take turns</translation>
    </message>
    <message>
        <source>歌曲通知</source>
        <translation>Song notifications</translation>
    </message>
    <message>
        <source>每首歌开始时显示一条桌面通知（窗口在前台时不显示）</source>
        <translation>Show a desktop notification when each song starts (not while the window is in front)</translation>
    </message>
    <message>
        <source>关闭窗口后在托盘中继续播放</source>
        <translation>Keep playing in the tray when the window is closed</translation>
    </message>
    <message>
        <source>从托盘图标的菜单打开窗口或退出</source>
        <translation>Open the window or quit from the tray icon&apos;s menu</translation>
    </message>
    <message>
        <source>桌面没有托盘：关闭窗口即退出</source>
        <translation>The desktop has no tray: closing the window quits</translation>
    </message>
    <message>
        <source>桌面歌词</source>
        <translation>Desktop lyrics</translation>
    </message>
    <message>
        <source>在桌面上显示正在唱的歌词，总在其他窗口之上</source>
        <translation>Show the line being sung on the desktop, above the other windows</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>As the system</translation>
    </message>
    <message>
        <source>重新启动 Tonvera 后生效</source>
        <translation>Takes effect when Tonvera starts again</translation>
    </message>
    <message>
        <source>恢复默认</source>
        <translation>Restore defaults</translation>
    </message>
    <message>
        <source>表格背景颜色：</source>
        <translation>Table colour:</translation>
    </message>
    <message>
        <source>语言：</source>
        <translation>Language:</translation>
    </message>
</context>
<context>
    <name>tonvera::PrivateView</name>
    <message>
        <source>自动播放我喜欢的音乐内容
</source>
        <translation>Play the music I like
</translation>
    </message>
    <message>
        <source>同时推荐一些可能符合我口味的音乐
</source>
        <translation>and suggest music to my taste
</translation>
    </message>
    <message>
        <source>并且不要播放英文内容
</source>
        <translation>but nothing in English
</translation>
    </message>
    <message>
        <source>私人频道</source>
        <translation>Private</translation>
    </message>
    <message>
        <source>启动播放</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>智能推荐</source>
        <translation>Suggest</translation>
    </message>
    <message>
        <source>不想听英文</source>
        <translation>No English</translation>
    </message>
</context>
<context>
    <name>tonvera::TNArtistRecommendView</name>
    <message>
        <source>还没有可推荐的相似艺人</source>
        <translation>No similar artists to suggest yet</translation>
    </message>
</context>
<context>
    <name>tonvera::TNArtistSearchAndSimilarViewController</name>
    <message>
        <source>可能喜欢</source>
        <translation>For you</translation>
    </message>
    <message>
        <source>搜索艺人</source>
        <translation>Search</translation>
    </message>
</context>
<context>
    <name>tonvera::TNArtistsListViewController</name>
    <message>
        <source>还没有喜欢的艺人</source>
        <translation>No liked artists yet</translation>
    </message>
    <message>
        <source>还没有不喜欢的艺人</source>
        <translation>No disliked artists yet</translation>
    </message>
</context>
<context>
    <name>tonvera::TNSongsViewController</name>
    <message>
        <source>还没有喜欢的歌曲</source>
        <translation>No liked songs yet</translation>
    </message>
    <message>
        <source>还没有不喜欢的歌曲</source>
        <translation>No disliked songs yet</translation>
    </message>
</context>
<context>
    <name>tonvera::TabView</name>
    <message>
        <source>艺人</source>
        <translation>Artists</translation>
    </message>
    <message>
        <source>音乐</source>
        <translation>Music</translation>
    </message>
    <message>
        <source>喜欢</source>
        <translation>Liked</translation>
    </message>
    <message>
        <source>不喜欢</source>
        <translation>Disliked</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
</context>
<context>
    <name>tonvera::TrayIcon</name>
    <message>
        <source>播放/暂停</source>
        <translation>Play/Pause</translation>
    </message>
    <message>
        <source>下一首</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>喜欢</source>
        <translation>Like</translation>
    </message>
    <message>
        <source>显示窗口</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
</context>
</TS>
